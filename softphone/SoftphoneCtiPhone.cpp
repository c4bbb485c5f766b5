#include "softphone/SoftphoneCtiPhone.h"

#include "cti/CtiProtocol.h"
#include "softphone/frmSoftphone.h"

namespace {

constexpr int kLine = 0;
// The control's code for a line without a call in progress.
constexpr int kNoCall = 34;

} // namespace

CtiOutcome SoftphoneCtiPhone::Outcome(bool ok)
{
    return ok ? CtiOutcome::Done() : CtiOutcome::Failed(window_.Control().GetOrvObjectError());
}

bool SoftphoneCtiPhone::HasCall()
{
    return window_.Control().IsLineHold(kLine) || window_.Control().IsLineBusy(kLine);
}

CtiOutcome SoftphoneCtiPhone::Dial(const std::string& number)
{
    const bool ok = window_.DialNumber(QString::fromStdString(number));
    if (!ok && window_.DialWasRefused())
        return CtiOutcome::Failed(CtiProtocol::kNotASipUri);
    return Outcome(ok);
}

CtiOutcome SoftphoneCtiPhone::HangUp()
{
    return Outcome(window_.HangUpCall());
}

// Without a call "Hold" does nothing, as the button does; the socket hears why.
CtiOutcome SoftphoneCtiPhone::ToggleHold()
{
    if (!HasCall())
        return CtiOutcome::Failed(kNoCall);
    return Outcome(window_.ToggleHold());
}

CtiOutcome SoftphoneCtiPhone::Answer()
{
    return Outcome(window_.AnswerCall());
}

CtiOutcome SoftphoneCtiPhone::Reject()
{
    return Outcome(window_.RejectIncomingCall());
}

CtiOutcome SoftphoneCtiPhone::SendDigit(const std::string& digit)
{
    if (window_.Control().DigitDTMF(kLine, digit))
        return CtiOutcome::Done();
    window_.ReportControlError();
    return CtiOutcome::Failed(window_.Control().GetOrvObjectError());
}

bool SoftphoneCtiPhone::ConfirmClose()
{
    return window_.ConfirmClose();
}

void SoftphoneCtiPhone::EndProgram()
{
    window_.EndProgram();
}

bool SoftphoneCtiPhone::IsBusy() const
{
    return window_.IsBusy();
}

CtiLineStatus SoftphoneCtiPhone::LineStatus()
{
    CtiLineStatus status;
    status.held = window_.Control().IsLineHold(kLine);
    status.busy = window_.Control().IsLineBusy(kLine);
    status.peer = window_.CallPeer().toStdString();
    status.codec = frmSoftphone::CodecLabel(window_.Control().GetOutboundCodec(kLine)).toStdString();
    if (status.busy || status.held)
        status.quality = window_.Control().GetCallStatistics(kLine);
    for (const auto& [callId, caller] : window_.PendingCalls())
        status.pending.push_back({callId.toStdString(), caller.toStdString()});
    return status;
}
