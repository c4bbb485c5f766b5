#pragma once

#include "cti/CtiPhone.h"

class frmSoftphone;

// trn's main window as the phone that CTI commands drive: each command runs the
// window's own operation, as its button would, and the outcome carries the control's
// error code when the operation failed.
class SoftphoneCtiPhone : public CtiPhone {
public:
    explicit SoftphoneCtiPhone(frmSoftphone& window) : window_(window) {}

    CtiOutcome Dial(const std::string& number) override;
    CtiOutcome HangUp() override;
    CtiOutcome ToggleHold() override;
    CtiOutcome Answer() override;
    CtiOutcome Reject() override;
    CtiOutcome SendDigit(const std::string& digit) override;
    bool ConfirmClose() override;
    void EndProgram() override;
    CtiLineStatus LineStatus() override;
    bool IsBusy() const override;

private:
    CtiOutcome Outcome(bool ok);
    bool HasCall();

    frmSoftphone& window_;
};
