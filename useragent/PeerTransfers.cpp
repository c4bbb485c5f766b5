#include "useragent/PeerTransfers.h"

#include "media/MediaEngine.h"
#include "sipsyntax/ReferTo.h"
#include "sipsyntax/ReplacesHeader.h"
#include "sipsyntax/SipMessage.h"
#include "sipsyntax/SipUri.h"
#include "useragent/CallTransferee.h"
#include "useragent/SipCall.h"
#include "useragent/SipUserAgent.h"

#include <algorithm>

namespace {

bool SameCallId(const std::string& a, const std::string& b)
{
    return SipUri::ToLower(a) == SipUri::ToLower(b);
}

// The tag of a From or To value, without the parameters after it.
std::string TagValue(const std::string& nameAddr)
{
    std::size_t at = SipUri::ToLower(nameAddr).find(";tag=");
    if (at == std::string::npos)
        return {};
    std::string tag = nameAddr.substr(at + 5);
    return tag.substr(0, tag.find_first_of("; \t>"));
}

const char* ReasonOf(int status)
{
    switch (status) {
    case 202: return "Accepted";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 481: return "Call/Transaction Does Not Exist";
    case 486: return "Busy Here";
    case 488: return "Not Acceptable Here";
    case 491: return "Request Pending";
    case 603: return "Declined";
    default: return "Server Internal Error";
    }
}

// The name-addr of the peer that sent a REFER, for the INVITE it asks for (RFC 3892).
std::string ReferrerOf(const SipMessage& refer, const SipCall& call)
{
    std::vector<std::string> referredBy = refer.GetHeaders("Referred-By");
    if (!referredBy.empty() && !referredBy.front().empty())
        return referredBy.front();
    std::string remote = call.Dialog().remoteParty;
    std::size_t tag = SipUri::ToLower(remote).find(";tag=");
    return remote.substr(0, tag);
}

} // namespace

PeerTransfers::PeerTransfers(SipUserAgent& agent) : agent_(agent) {}

PeerTransfers::~PeerTransfers() = default;

void PeerTransfers::Answer(const std::string& text, int status, const std::string& reason)
{
    agent_.AnswerOutsideCall(text, status, reason);
}

int PeerTransfers::LineOf(const SipCall& call) const
{
    for (int line = 0; line < static_cast<int>(agent_.lines_.size()); ++line) {
        if (agent_.lines_[static_cast<std::size_t>(line)].get() == &call)
            return line;
    }
    return -1;
}

bool PeerTransfers::IsTransferring(const SipCall& call) const
{
    return std::any_of(transfers_.begin(), transfers_.end(),
                       [&call](const auto& transfer) { return !transfer->Ended() && transfer->Original() == &call; });
}

void PeerTransfers::OnRefer(SipCall& call, const SipMessage& refer, const std::string& text)
{
    const int line = LineOf(call);
    if (IsTransferring(call)) {
        Answer(text, 491, ReasonOf(491));
        return;
    }
    if (!IsInDialogOf(call, refer)) {
        Answer(text, 481, ReasonOf(481));
        return;
    }
    if (line < 0 || call.CallState() != SipCall::Confirmed) {
        Answer(text, 403, ReasonOf(403));
        return;
    }
    std::vector<std::string> referTo = refer.GetHeaders("Refer-To");
    ReferTo target;
    ReferTo::Verdict verdict = referTo.size() == 1 ? ReferTo::Parse(referTo.front(), target) : ReferTo::Verdict::Malformed;
    if (verdict != ReferTo::Verdict::Follow) {
        int status = verdict == ReferTo::Verdict::Refused ? 403 : 400;
        Answer(text, status, ReasonOf(status));
        return;
    }
    std::string number;
    std::string method;
    SipMessage::SplitCSeq(refer.GetCSeq(), number, method);
    Answer(text, 202, ReasonOf(202));

    std::unique_ptr<SipCall>& slot = agent_.lines_[static_cast<std::size_t>(line)];
    slot->SetLineNo(SipCall::NoLine);
    auto transfer = std::make_unique<CallTransferee>(agent_, std::move(slot), line, number);
    transfer->Notify("SIP/2.0 100 Trying", false);
    slot = std::make_unique<SipCall>(agent_, line);
    slot->Dialog().referredBy = ReferrerOf(refer, *transfer->Original());
    slot->Dialog().replaces = target.Replaces();
    agent_.codecs_.ApplyFallback();
    slot->Dial(target.Uri(), agent_.codecs_);
    transfer->SetTarget(slot->Serial(), slot->Dialog().callId);
    transfers_.push_back(std::move(transfer));
    CheckOutcomes();
}

void PeerTransfers::NoteResponse(const SipMessage& response)
{
    if (!response.IsResponseFor("INVITE") || response.Is1xx() || response.Is2xx())
        return;
    for (auto& transfer : transfers_) {
        if (!transfer->Ended() && SameCallId(transfer->TargetCallId(), response.GetCallId()) &&
            response.GetStatusCode() != 401 && response.GetStatusCode() != 407)
            transfer->NoteTargetFailure(response.GetStatusCode(), response.GetReasonPhrase());
    }
}

void PeerTransfers::OnNotifyResponse(const SipMessage& response)
{
    for (auto& transfer : transfers_) {
        if (SameCallId(transfer->CallId(), response.GetCallId()))
            transfer->OnNotifyResponse(response);
    }
}

bool PeerTransfers::IsInDialogOf(const SipCall& call, const SipMessage& request)
{
    const SipDialog& dialog = call.Dialog();
    return TagValue(request.GetTo()) == TagValue(dialog.localParty) &&
           TagValue(request.GetFrom()) == TagValue(dialog.remoteParty);
}

void PeerTransfers::CheckOutcomes()
{
    for (auto& transfer : transfers_) {
        if (transfer->Ended())
            continue;
        SipCall* target = agent_.LineCall(transfer->LineNo());
        if (target == nullptr || target->Serial() != transfer->TargetSerial()) {
            transfer->Notify("SIP/2.0 487 Request Terminated", true);
            EndQuietly(transfer->TakeOriginal());
        } else if (target->CallState() == SipCall::Confirmed) {
            Succeed(*transfer);
        } else if (target->CallState() == SipCall::Idle) {
            Fail(*transfer);
        }
    }
}

void PeerTransfers::Succeed(CallTransferee& transfer)
{
    transfer.Notify("SIP/2.0 200 OK", true);
    agent_.media_->Unhold(transfer.LineNo());
    EndQuietly(transfer.TakeOriginal());
}

// The referrer hears the failure; the old call, if its dialog still stands, gets its
// line, its sound devices and its media back.
void PeerTransfers::Fail(CallTransferee& transfer)
{
    transfer.Notify(transfer.TargetFailure(), true);
    std::unique_ptr<SipCall> original = transfer.TakeOriginal();
    if (original->CallState() != SipCall::Confirmed) {
        EndQuietly(std::move(original));
        return;
    }
    const int line = transfer.LineNo();
    original->SetLineNo(line);
    agent_.lines_[static_cast<std::size_t>(line)] = std::move(original);
    agent_.RestoreLineDevices(line);
    agent_.media_->Unhold(line);
    agent_.lines_[static_cast<std::size_t>(line)]->ResumeMedia();
}

void PeerTransfers::OnLineHungUp(int lineNo)
{
    for (auto& transfer : transfers_) {
        if (!transfer->Ended() && transfer->LineNo() == lineNo) {
            transfer->Notify("SIP/2.0 487 Request Terminated", true);
            EndQuietly(transfer->TakeOriginal());
        }
    }
}

void PeerTransfers::EndQuietly(std::unique_ptr<SipCall> call)
{
    if (call == nullptr)
        return;
    call->SetLineNo(SipCall::NoLine);
    call->Disconnect();
    ending_.push_back(std::move(call));
}

SipCall* PeerTransfers::FindCall(const std::string& callId)
{
    if (SameCallId(callId, SipDialog::ResetCallId))
        return nullptr;
    for (auto& transfer : transfers_) {
        SipCall* original = transfer->Original();
        if (original != nullptr && SameCallId(original->Dialog().callId, callId))
            return original;
    }
    for (auto& call : ending_) {
        if (SameCallId(call->Dialog().callId, callId))
            return call.get();
    }
    return nullptr;
}

void PeerTransfers::Tick()
{
    for (auto& transfer : transfers_) {
        transfer->Advance();
        if (SipCall* original = transfer->Original())
            original->Advance();
    }
    for (auto& call : ending_)
        call->Advance();
    transfers_.remove_if([](const auto& transfer) { return transfer->Finished(); });
    ending_.remove_if([](const auto& call) { return call->CallState() == SipCall::Idle && !call->AnyArmed(); });
}

bool PeerTransfers::NeedsTicks() const
{
    return !transfers_.empty() || !ending_.empty();
}

void PeerTransfers::HangUpAll()
{
    for (auto& transfer : transfers_) {
        if (SipCall* original = transfer->Original())
            original->HangUp();
    }
    for (auto& call : ending_)
        call->HangUp();
    transfers_.clear();
    ending_.clear();
}

bool PeerTransfers::IsTrustedSource(const SipCall& call, const std::string& sourceIp, int sourcePort) const
{
    auto same = [&](const std::string& address, int defaultPort) {
        SipAddress split;
        if (address.empty() || !SipUri::SplitUri(address, split) || split.host.empty())
            return false;
        int port = split.port != 0 ? split.port : defaultPort;
        return port == sourcePort && agent_.KnownAddress(split.host) == sourceIp;
    };
    const SipDialog& dialog = call.Dialog();
    const SipDestination& outbound = agent_.outboundProxy_;
    bool viaOutbound = !outbound.host.empty() && outbound.host == sourceIp &&
                       (outbound.port != 0 ? outbound.port : SipUri::DefaultPortOf(outbound.transport)) == sourcePort;
    return viaOutbound || same(agent_.proxy_, SipUri::DefaultPort) || same(dialog.target, SipUri::DefaultPort) ||
           (!dialog.routeSet.empty() && same(dialog.routeSet.front(), SipUri::DefaultPort));
}

// RFC 3891: a confirmed dialog is replaced unless only an early one may be (486); an
// early dialog this side started is replaced too (it is cancelled); an early dialog
// the peer started, or none at all, is 481; a dialog already over, 603.
int PeerTransfers::ReplacingVerdict(const SipCall& call, const ReplacesHeader& replaces,
                                    const std::string& sourceIp, int sourcePort) const
{
    const SipDialog& dialog = call.Dialog();
    const int state = call.CallState();
    const bool earlyOurs = dialog.isClient && state >= SipCall::InviteSent && state <= SipCall::TryingReceived;
    if (TagValue(dialog.localParty) != replaces.toTag)
        return 481;
    if (state == SipCall::Confirmed && TagValue(dialog.remoteParty) != replaces.fromTag)
        return 481;
    if (state != SipCall::Confirmed && !earlyOurs)
        return state == SipCall::Idle ? 603 : 481;
    if (state == SipCall::Confirmed && replaces.earlyOnly)
        return 486;
    return IsTrustedSource(call, sourceIp, sourcePort) ? 0 : 403;
}

void PeerTransfers::OnReplacingInvite(const SipMessage& invite, const std::string& text, const std::string& sourceIp,
                                      int sourcePort)
{
    std::vector<std::string> values = invite.GetHeaders("Replaces");
    ReplacesHeader replaces;
    if (values.size() != 1 || !ReplacesHeader::Parse(values.front(), replaces)) {
        Answer(text, 400, ReasonOf(400));
        return;
    }
    if (FindCall(replaces.callId) != nullptr) {
        Answer(text, 603, ReasonOf(603));
        return;
    }
    SipCall* replaced = agent_.FindLineCall(replaces.callId);
    if (replaced == nullptr) {
        Answer(text, 481, ReasonOf(481));
        return;
    }
    int verdict = ReplacingVerdict(*replaced, replaces, sourceIp, sourcePort);
    if (verdict != 0) {
        Answer(text, verdict, ReasonOf(verdict));
        return;
    }
    const int line = LineOf(*replaced);
    // A call the media encryption setting cannot take leaves the replaced one as it is.
    auto replacing = std::make_unique<SipCall>(agent_, line);
    if (!replacing->TakesOffer(invite)) {
        Answer(text, 488, ReasonOf(488));
        return;
    }
    std::unique_ptr<SipCall>& slot = agent_.lines_[static_cast<std::size_t>(line)];
    EndQuietly(std::move(slot));
    slot = std::move(replacing);
    agent_.media_->Unhold(line);
    agent_.codecs_.ApplyFallback();
    slot->AnswerReplacing(invite, text, agent_.codecs_);
}
