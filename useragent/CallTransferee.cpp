#include "useragent/CallTransferee.h"

#include "sipsyntax/SipMessage.h"
#include "useragent/SipCall.h"
#include "useragent/SipUserAgent.h"

#include <cstdlib>

CallTransferee::CallTransferee(SipUserAgent& agent, std::unique_ptr<SipCall> original, int lineNo,
                               const std::string& referCseq)
    : agent_(agent),
      original_(std::move(original)),
      transport_(original_->Transport()),
      lineNo_(lineNo),
      event_("refer;id=" + referCseq),
      callId_(original_->Dialog().callId)
{
}

CallTransferee::~CallTransferee() = default;

std::unique_ptr<SipCall> CallTransferee::TakeOriginal()
{
    return std::move(original_);
}

void CallTransferee::SetTarget(std::uint64_t serial, const std::string& callId)
{
    targetSerial_ = serial;
    targetCallId_ = callId;
}

void CallTransferee::Notify(const std::string& statusLine, bool final)
{
    if (final)
        ended_ = true;
    // A referrer that already ended the dialog hears nothing more.
    if (original_ == nullptr || original_->CallState() != SipCall::Confirmed)
        return;
    OutgoingMessage notify;
    std::string cseqNumber;
    const std::string state = final ? "terminated;reason=noresource" : "active;expires=60";
    if (original_->Dialog().BuildNotify(event_, state, statusLine, notify, cseqNumber))
        ArmAndSend(Automatic, notify.text, notify.host, notify.port, cseqNumber + "NOTIFY");
}

void CallTransferee::NoteTargetFailure(int status, const std::string& reason)
{
    targetFailure_ = "SIP/2.0 " + std::to_string(status) + " " + reason;
}

void CallTransferee::OnNotifyResponse(const SipMessage& response)
{
    if (response.Is1xx())
        return;
    std::string number;
    std::string method;
    if (!SipMessage::SplitCSeq(response.GetCSeq(), number, method))
        return;
    int slot = FindKey(number + "NOTIFY");
    if (slot >= 0)
        Clear(slot);
}

void CallTransferee::SendEntry(const std::string& text, const std::string& host, int port)
{
    agent_.Send(text, {transport_, host, port});
}

void CallTransferee::OnArmed()
{
    agent_.WakeTick();
}
