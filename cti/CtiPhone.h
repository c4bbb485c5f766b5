#pragma once

#include <string>
#include <vector>

// What one CTI command did. A failure carries the control's error code (read right
// after the failed call) or one of the socket's own codes.
struct CtiOutcome {
    bool ok = true;
    int code = 0;
    // ShutDown was confirmed: the program ends once the command has been answered.
    bool endsProgram = false;

    static CtiOutcome Done() { return {}; }
    static CtiOutcome Failed(int code) { return {false, code, false}; }
    static CtiOutcome EndProgram() { return {true, 0, true}; }
};

struct CtiPendingCall {
    std::string callId;
    std::string caller;
};

// Line 0 as the phone sees it, for the socket's snapshot.
struct CtiLineStatus {
    bool busy = false;
    bool held = false;
    std::string peer;
    std::string codec;
    std::vector<CtiPendingCall> pending; // oldest first, the one "Answer" takes first
    // The call's figures, key=value;... (GetCallStatistics); empty without a call.
    std::string quality;
};

// The phone that CTI commands drive: trn's main window offers its call operations
// through this, so the CTI side needs nothing of the window itself.
class CtiPhone {
public:
    virtual ~CtiPhone() = default;

    // The number goes on the display, then the call is placed as "Call" places it.
    virtual CtiOutcome Dial(const std::string& number) = 0;
    virtual CtiOutcome HangUp() = 0;
    // Hold when the line is busy, resume when it is held; a failure without a call.
    virtual CtiOutcome ToggleHold() = 0;
    virtual CtiOutcome Answer() = 0;
    virtual CtiOutcome Reject() = 0;
    // One DTMF digit on line 0; a failure is also reported as a CTI error record.
    virtual CtiOutcome SendDigit(const std::string& digit) = 0;
    // Asks "Are you sure you want close?" when the settings say so; true to go on.
    virtual bool ConfirmClose() = 0;
    // Ends every copy of the program, this one included; does not return.
    virtual void EndProgram() = 0;
    virtual CtiLineStatus LineStatus() = 0;
    // True while one of the phone's own event handlers or call operations runs (they
    // pump messages to repaint): no command may start in the middle of one.
    virtual bool IsBusy() const = 0;
};
