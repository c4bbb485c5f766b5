#pragma once

#include "cti/CtiCommandTable.h"
#include "cti/CtiPhone.h"
#include "cti/TickGuard.h"

#include <functional>
#include <optional>
#include <string>

// Runs CTI commands one at a time, whichever transport they came from, and never in
// the middle of one of the phone's event handlers or call operations. A command may
// pump messages or show a message box; no other command starts meanwhile (the file
// tick and the socket clients wait and try again when it has ended).
class CtiCommandRunner {
public:
    explicit CtiCommandRunner(CtiPhone& phone) : phone_(phone) {}

    bool IsRunning() const { return guard_.IsRunning(); }
    // Neither a command nor the phone is busy.
    bool CanStart() const { return !guard_.IsRunning() && !phone_.IsBusy(); }
    // The outcome, or nothing when a command cannot start now.
    std::optional<CtiOutcome> Run(const CtiCommandTable::Command& command, const std::string& parameter);
    // After a confirmed ShutDown has been answered.
    void EndProgram() { phone_.EndProgram(); }
    // Called after every command, once the next one may start (and by the phone when
    // it is no longer busy).
    void OnIdle(std::function<void()> idle) { idle_ = std::move(idle); }
    void NotifyIdle()
    {
        if (idle_)
            idle_();
    }

private:
    CtiPhone& phone_;
    TickGuard guard_;
    std::function<void()> idle_;
};
