#include "useragent/SipDispatcher.h"

#include "sipsyntax/DtmfInfoBody.h"
#include "sipsyntax/SipMessage.h"
#include "useragent/PeerTransfers.h"
#include "useragent/RegistrationClient.h"
#include "useragent/SipCall.h"
#include "useragent/SipUserAgent.h"

#include <algorithm>
#include <cstdlib>

namespace {

int ClampCount(long count)
{
    return static_cast<int>(std::clamp(count, 0L, 999'999L));
}

// An INVITE that can be answered: a top Via to answer to, a CSeq with its number, and
// the From and To the answers copy.
bool IsAnswerable(const SipMessage& invite)
{
    std::vector<std::string> vias = invite.GetVias();
    ViaParts topVia;
    std::string number;
    std::string method;
    return !vias.empty() && SipMessage::SplitVia(vias.front(), topVia) &&
           SipMessage::SplitCSeq(invite.GetCSeq(), number, method) && !invite.GetFrom().empty() &&
           !invite.GetTo().empty();
}

} // namespace

void SipDispatcher::OnRequest(const SipMessage& request, const std::string& text, const std::string& receivedText)
{
    if (SipCall* call = agent_.FindCall(request.GetCallId())) {
        if (!call->CheckInDialog(text))
            return;
    } else {
        std::string reason;
        if (!request.CheckMandatory(reason)) {
            agent_.AnswerOutsideCall(text, 400, reason);
            return;
        }
        if (!request.IsMethodAllowed()) {
            agent_.AnswerOutsideCall(text, 405, "Method Not Allowed");
            return;
        }
        if (!request.MaxForwardsNotZero()) {
            agent_.AnswerOutsideCall(text, 483, "Too Many Hops");
            return;
        }
    }
    if (request.IsOptions()) {
        agent_.AnswerOutsideCall(text, 200, "OK");
    } else if (request.IsNotify()) {
        OnNotifyRequest(request, text, receivedText);
    } else if (request.IsInvite()) {
        OnInviteRequest(request, text);
    } else if (request.IsAck()) {
        OnAckRequest(request);
    } else if (request.IsCancel()) {
        OnCancelRequest(request, text);
    } else if (request.IsBye()) {
        OnByeRequest(request, text);
    } else if (request.IsInfo()) {
        OnInfoRequest(request, text);
    } else if (request.IsRefer()) {
        OnReferRequest(request, text);
    } else {
        agent_.AnswerOutsideCall(text, 405, "Method Not Allowed");
    }
}

void SipDispatcher::OnResponse(const SipMessage& response, const std::string& text)
{
    if (response.IsResponseFor("REGISTER")) {
        agent_.registration_->OnResponse(response);
        return;
    }
    if (response.IsResponseFor("REFER")) {
        if (SipCall* call = agent_.FindLineCall(response.GetCallId()))
            call->OnReferResponse(response);
        return;
    }
    if (response.IsResponseFor("NOTIFY")) {
        agent_.transfers_->OnNotifyResponse(response);
        return;
    }
    agent_.transfers_->NoteResponse(response);
    SipCall* call = agent_.FindCall(response.GetCallId());
    if (call == nullptr)
        return;
    if (response.IsResponseFor("INVITE"))
        call->OnInviteResponse(response, text);
    else if (response.IsResponseFor("CANCEL"))
        call->OnCancelResponse(response, text);
    else if (response.IsResponseFor("BYE"))
        call->OnByeResponse(response, text);
    else if (response.IsResponseFor("INFO"))
        call->OnInfoResponse(response);
    agent_.transfers_->CheckOutcomes();
}

// Message waiting: a summary becomes OnVoiceMailMsg; every NOTIFY, summary or not,
// reaches the host whole as OnMsgNOTIFY. Nothing is ever subscribed to.
void SipDispatcher::OnNotifyRequest(const SipMessage& request, const std::string& text,
                                   const std::string& receivedText)
{
    std::vector<std::string> vias = request.GetVias();
    ViaParts topVia;
    if (vias.empty() || !SipMessage::SplitVia(vias.front(), topVia))
        return;
    agent_.AnswerOutsideCall(text, 200, "OK");
    VoiceMessageCounts counts;
    if (request.GetVoiceMessageCounts(counts)) {
        agent_.PostEvent(EventType::VoiceMailMsg,
                  {request.GetMessagesWaiting() == "yes", ClampCount(counts.newCount), ClampCount(counts.oldCount),
                   ClampCount(counts.newUrgent), ClampCount(counts.oldUrgent), request.GetMessageAccount()});
    }
    agent_.PostEvent(EventType::MsgNotify, {receivedText});
}

void SipDispatcher::OnInviteRequest(const SipMessage& request, const std::string& text)
{
    if (agent_.doNotDisturb_) {
        agent_.AnswerOutsideCall(text, 486, "Busy Here");
        return;
    }
    if (SipCall* call = agent_.FindCall(request.GetCallId())) {
        call->OnInvite(request, text);
        return;
    }
    if (!IsAnswerable(request)) {
        agent_.AnswerOutsideCall(text, 400, "Bad Request");
        return;
    }
    if (agent_.unInitializing_) {
        agent_.AnswerOutsideCall(text, 480, "Temporarily Unavailable");
        return;
    }
    if (agent_.transfers_->Accepts() && !request.GetHeaders("Replaces").empty()) {
        agent_.transfers_->OnReplacingInvite(request, text, agent_.source_.ip, agent_.source_.port);
        return;
    }
    const auto ringing = std::count_if(agent_.pendingCalls_.begin(), agent_.pendingCalls_.end(),
                                       [](const std::unique_ptr<SipCall>& call) { return !call->HangsUpAfterAck(); });
    if (static_cast<std::size_t>(ringing) >= SipUserAgent::MaxPendingCalls) {
        agent_.AnswerOutsideCall(text, 486, "Busy Here");
        return;
    }
    agent_.pendingCalls_.push_back(std::make_unique<SipCall>(agent_, -1));
    agent_.pendingCalls_.back()->OnInvite(request, text);
    // A call that neither rings nor waits for the ACK of its refusal is of no use.
    if (agent_.pendingCalls_.back()->CallState() == SipCall::Idle &&
        !agent_.pendingCalls_.back()->IsArmed(SipCall::FinalResponseSlot))
        agent_.pendingCalls_.pop_back();
}

void SipDispatcher::OnAckRequest(const SipMessage& request)
{
    if (SipCall* call = agent_.FindCall(request.GetCallId()))
        call->OnAck(request);
}

void SipDispatcher::OnCancelRequest(const SipMessage& request, const std::string& text)
{
    SipCall* call = agent_.FindCall(request.GetCallId());
    if (call == nullptr) {
        agent_.AnswerOutsideCall(text, 487, "Request Terminated");
        agent_.AnswerOutsideCall(text, 200, "OK");
        return;
    }
    if (call->CallState() != SipCall::Ringing) {
        call->AnswerLateCancel(text);
        return;
    }
    call->OnCancel(text);
    call->HangUp();
    if (agent_.IsPending(call))
        agent_.DeferDelete(call);
}

void SipDispatcher::OnByeRequest(const SipMessage& request, const std::string& text)
{
    SipCall* call = agent_.FindCall(request.GetCallId());
    if (call == nullptr) {
        agent_.AnswerOutsideCall(text, 200, "OK");
        return;
    }
    call->OnBye(text);
    call->HangUp();
    if (agent_.IsPending(call))
        agent_.DeferDelete(call);
}

// Digits a peer sends as SIP INFO: answered 200 and raised once per INFO (not for its
// retransmissions); an INFO with another body keeps its 405.
void SipDispatcher::OnInfoRequest(const SipMessage& request, const std::string& text)
{
    const std::string contentType = request.GetContentType();
    if (!DtmfInfoBody::IsDtmfType(contentType)) {
        agent_.AnswerOutsideCall(text, 405, "Method Not Allowed");
        return;
    }
    SipCall* call = agent_.FindLineCall(request.GetCallId());
    if (call == nullptr || call->CallState() != SipCall::Confirmed || !PeerTransfers::IsInDialogOf(*call, request)) {
        agent_.AnswerOutsideCall(text, 481, "Call/Transaction Does Not Exist");
        return;
    }
    const std::string digit = DtmfInfoBody::Digit(contentType, request.GetBody());
    if (digit.empty()) {
        agent_.AnswerOutsideCall(text, 400, "Bad Request");
        return;
    }
    agent_.AnswerOutsideCall(text, 200, "OK");
    std::string number;
    std::string method;
    SipMessage::SplitCSeq(request.GetCSeq(), number, method);
    if (call->TakePeerInfoCSeq(std::atoi(number.c_str())))
        agent_.OnMediaDtmfDigit(call->LineNo(), digit);
}

void SipDispatcher::OnReferRequest(const SipMessage& request, const std::string& text)
{
    SipCall* call = agent_.FindCall(request.GetCallId());
    if (!agent_.transfers_->Accepts() || call == nullptr) {
        agent_.AnswerOutsideCall(text, 405, "Method Not Allowed");
        return;
    }
    agent_.transfers_->OnRefer(*call, request, text);
}
