#include "useragent/SipCall.h"

#include "platform/Clock.h"
#include "sipsyntax/SipMessage.h"
#include "useragent/SipUserAgent.h"

SipCall::SipCall(SipUserAgent& agent, int lineNo)
    : agent_(agent),
      dialog_(std::make_unique<SipDialog>(agent.NewDialog())),
      lineNo_(lineNo)
{
}

void SipCall::SendEntry(const std::string& text, const std::string& host, int port)
{
    agent_.Send(text, host, port);
}

void SipCall::OnSlotTimeout(int slot, const std::string&, const std::string&, int)
{
    if (slot == CancelSlot || slot == ByeSlot)
        Reset();
}

void SipCall::Reset()
{
    ClearAll();
    dialog_->Reset();
}

bool SipCall::CheckInDialog(const std::string& text)
{
    SipMessage request;
    if (!request.Parse(text))
        return false;
    std::string reason;
    int status = 0;
    if (!request.CheckMandatory(reason)) {
        status = 400;
    } else if (!request.IsMethodAllowed()) {
        status = 405;
        reason = "Method Not Allowed";
    } else if (!request.MaxForwardsNotZero()) {
        status = 483;
        reason = "Too Many Hops";
    } else {
        return true;
    }
    OutgoingMessage answer;
    if (dialog_->BuildResponse(text, status, reason, {}, answer))
        ArmAndSend(FinalResponseSlot, answer.text, answer.host, answer.port);
    return false;
}

void SipCall::SendTwice(const OutgoingMessage& message)
{
    agent_.Send(message.text, message.host, message.port);
    Clock::Sleep(10);
    agent_.Send(message.text, message.host, message.port);
}

void SipCall::HangUp()
{
    OutgoingMessage message;
    int state = dialog_->state;
    if (dialog_->isClient && state >= 1 && state <= 4) {
        if (dialog_->BuildCancel(inviteBranch_, message))
            SendTwice(message);
    } else if (state == 6) {
        if (dialog_->BuildBye({}, {}, message))
            SendTwice(message);
        dialog_->state = 0;
    }
}
