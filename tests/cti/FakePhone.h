#pragma once

#include "cti/CtiPhone.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

// A phone that records what CTI asked of it and answers as told. `during` runs inside
// every operation (to pump messages as trn's operations do, for instance).
class FakePhone : public CtiPhone {
public:
    CtiOutcome Dial(const std::string& number) override { return Do("Dial " + number); }
    CtiOutcome HangUp() override { return Do("HangUp"); }
    CtiOutcome ToggleHold() override { return Do("ToggleHold"); }
    CtiOutcome Answer() override { return Do("Answer"); }
    CtiOutcome Reject() override { return Do("Reject"); }
    CtiOutcome SendDigit(const std::string& digit) override { return Do("Digit " + digit); }
    bool ConfirmClose() override
    {
        calls.push_back("ConfirmClose");
        return confirmClose;
    }
    void EndProgram() override { calls.push_back("EndProgram"); }
    CtiLineStatus LineStatus() override { return status; }
    bool IsBusy() const override { return busy; }

    std::vector<std::string> calls;
    // The code of the operation whose record starts with that text fails with.
    std::vector<std::pair<std::string, int>> failures;
    bool confirmClose = true;
    bool busy = false;
    CtiLineStatus status;
    std::function<void()> during;

private:
    CtiOutcome Do(const std::string& call)
    {
        calls.push_back(call);
        if (during)
            during();
        calls.push_back("end " + call);
        for (const auto& [failing, code] : failures) {
            if (call == failing)
                return CtiOutcome::Failed(code);
        }
        return CtiOutcome::Done();
    }
};

// Runs the event loop until `done` holds or the time is up; whether it held.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Only the operations, without their "end" marks.
inline std::vector<std::string> Operations(const std::vector<std::string>& calls)
{
    std::vector<std::string> operations;
    for (const std::string& call : calls) {
        if (call.rfind("end ", 0) != 0)
            operations.push_back(call);
    }
    return operations;
}
