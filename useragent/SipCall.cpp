#include "useragent/SipCall.h"

#include "media/MediaEngine.h"
#include "platform/Clock.h"
#include "sipsyntax/DigestAuth.h"
#include "sipsyntax/SdpDescription.h"
#include "sipsyntax/SipIdentifiers.h"
#include "sipsyntax/SipMessage.h"
#include "sipsyntax/SipUri.h"
#include "useragent/SipUserAgent.h"

#include <atomic>

namespace {

int PeerPayloadFor(int codec, const CodecPayloads& payloads)
{
    switch (codec) {
    case 0: return payloads.gsm;
    case 1: return payloads.ilbc;
    case 3: return payloads.pcmu;
    case 4: return payloads.g729;
    default: return payloads.pcma;
    }
}

std::string WithoutQuotes(std::string text)
{
    std::erase(text, '"');
    return text;
}

} // namespace

namespace {

std::atomic<std::uint64_t> nextSerial{1};

} // namespace

SipCall::SipCall(SipUserAgent& agent, int lineNo)
    : agent_(agent),
      serial_(nextSerial++),
      dialog_(std::make_unique<SipDialog>(agent.NewDialog())),
      lineNo_(lineNo)
{
}

void SipCall::SendEntry(const std::string& text, const std::string& host, int port)
{
    agent_.Send(text, {transport_, host, port}, {SipTransport::Owner::Kind::Call, serial_});
}

void SipCall::NoteTransport(SipTransportKind transport)
{
    if (transport_ == SipTransportKind::Unspecified)
        transport_ = transport;
}

void SipCall::OnArmed()
{
    agent_.WakeTick();
}

void SipCall::SendOnce(const OutgoingMessage& message)
{
    SendEntry(message.text, message.host, message.port);
}

void SipCall::SendTwice(const OutgoingMessage& message)
{
    SendOnce(message);
    Clock::Sleep(10);
    SendOnce(message);
}

void SipCall::Reset()
{
    ClearAll();
    dialog_->Reset();
    if (byeAtAck_)
        agent_.DeferDelete(this);
}

void SipCall::StopMedia()
{
    agent_.Media().StopMedia(lineNo_, true, true);
    agent_.Media().DetachDevices(lineNo_);
    ReportSrtpDiscards();
}

// Only once the line let go of the session: a call that gave its line away has
// none to stop.
void SipCall::ReportSrtpDiscards()
{
    if (srtp_ == nullptr || lineNo_ < 0)
        return;
    const SrtpSession::Discards discards = srtp_->TakeDiscards();
    const std::uint64_t dropped = discards.authentication + discards.replay;
    if (dropped == 0)
        return;
    agent_.PostDiagnostic(EventType::IncomingDiagnostic,
                          "SRTP dropped " + std::to_string(dropped) + " packets of the call on line " +
                              std::to_string(lineNo_) + ": " + std::to_string(discards.authentication) +
                              " failed authentication, " + std::to_string(discards.replay) + " were replays",
                          lastMedia_.ip, lastMedia_.port);
}

void SipCall::Respond(const std::string& request, int status, const std::string& reason, int slot,
                      const std::string& sdp)
{
    OutgoingMessage answer;
    if (dialog_->BuildResponse(request, status, reason, sdp, answer))
        ArmAndSend(slot, answer.text, answer.host, answer.port);
}

bool SipCall::BuildLocalSdp(const std::string& direction, std::string& sdp, const std::string& connectionAddress,
                            const std::string& peerOffer)
{
    SdpOfferParams params;
    SdpDescription offer;
    const bool answering = !peerOffer.empty();
    params.rtcpMux = !answering || (offer.Parse(peerOffer) && offer.GetRtcp().multiplexed);
    // An answer that takes multiplexing needs no RTCP port of its own.
    params.rtcpPort = agent_.Media().PrepareRtcp(lineNo_, !(answering && params.rtcpMux));
    params.ownerUserName = agent_.LoginId();
    params.sessionName = "OrvSoft";
    params.direction = direction;
    if (sdpAddress_.line != lineNo_) {
        sdpAddress_.line = lineNo_;
        agent_.AdvertisedMediaAddress(lineNo_, sdpAddress_.ip, sdpAddress_.port);
    }
    params.originAddress = agent_.Media().GetLocalAddress(lineNo_);
    params.connectionAddress = connectionAddress.empty() ? sdpAddress_.ip : connectionAddress;
    params.mediaPort = sdpAddress_.port;
    params.payloads = codecs_.PayloadTypes();
    params.rtpMaps = codecs_.RtpMaps();
    if (!(peerOffer.empty() ? encryption_.Offer(params) : encryption_.Answer(peerOffer, params))) {
        lastError_ = CallEncryption::Unavailable;
        return false;
    }
    SdpDescription description;
    if (!description.Init() || !description.BuildOffer(params, sdp) || sdp.empty()) {
        lastError_ = 24;
        return false;
    }
    return true;
}

bool SipCall::StartMediaFromSdp(const std::string& sdp, bool send, bool receive, MediaStart& started)
{
    SdpDescription description;
    if (!description.Parse(sdp))
        return false;
    std::string address;
    description.GetConnectionAddress(address);
    // An address known now or none: the audio threads never wait for a name lookup,
    // and the host's thread does not either.
    started.ip = agent_.KnownAddress(address);
    if (started.ip.empty())
        return false;
    description.GetMediaPort(started.port);
    SdpDescription::CodecNames names;
    CodecPayloads payloads;
    description.GetCodecMap(names, payloads, telephoneEventPayload_);
    std::string chosen = codecs_.FirstCommon(names);
    if (chosen.empty())
        return false;
    started.codec = CodecList::CodecIndexOfName(chosen);
    // The keys go to the line before its media starts: nothing leaves in clear.
    SrtpKeys keys;
    const bool refused = encryption_.KeysFor(description, keys) == CallEncryption::Outcome::Refused;
    if (keys.Encrypted() && srtp_ == nullptr)
        srtp_ = std::make_shared<SrtpSession>();
    if (refused || (!agent_.Media().SetMediaKeys(lineNo_, srtp_, keys) && keys.Encrypted())) {
        started.encryptionRefused = true;
        lastError_ = CallEncryption::Unavailable;
        return false;
    }
    agent_.Media().StartMedia(lineNo_, started.ip, started.port, started.codec,
                              PeerPayloadFor(started.codec, payloads), send, receive, description.GetPacketTime());
    StartRtcp(description, started);
    lastMedia_ = {sdp, send, receive, started.ip, started.port};
    return true;
}

void SipCall::StartRtcp(const SdpDescription& description, const MediaStart& started)
{
    const SdpRtcp rtcp = description.GetRtcp();
    RtcpTarget target;
    target.multiplexed = rtcp.multiplexed;
    target.address = rtcp.address.empty() ? started.ip : agent_.KnownAddress(rtcp.address);
    target.port = rtcp.multiplexed ? started.port : (rtcp.port > 0 ? rtcp.port : started.port + 1);
    agent_.Media().StartRtcp(lineNo_, target);
}

bool SipCall::ResumeMedia()
{
    MediaStart started;
    return !lastMedia_.sdp.empty() && StartMediaFromSdp(lastMedia_.sdp, lastMedia_.send, lastMedia_.receive, started);
}

// ---- Outgoing calls -------------------------------------------------------------

bool SipCall::Dial(const std::string& toUri, const CodecList& engineCodecs)
{
    codecs_ = engineCodecs;
    // The dialled address chooses the transport when it names one, else its first hop.
    SipAddress dialled;
    SipUri::SplitUri(toUri, dialled);
    transport_ = dialled.transport != SipTransportKind::Unspecified ? dialled.transport
                                                                     : dialog_->FirstHopTransport(toUri);
    encryption_.Begin(agent_.MediaEncryption(),
                      agent_.KeysMayTravel(transport_, SipUri::ToLower(dialled.scheme) == "sips"));
    std::string sdp;
    if (!BuildLocalSdp("sendrecv", sdp))
        return false;
    OutgoingMessage invite;
    std::string normalisedTo;
    if (!dialog_->BuildInvite(sdp, {}, {}, toUri, invite, inviteBranch_, normalisedTo)) {
        lastError_ = 25;
        return false;
    }
    // An INVITE no datagram can carry fails here, before the host hears of a call.
    const bool overConnection = transport_ == SipTransportKind::Tcp || transport_ == SipTransportKind::Tls;
    if (!overConnection && invite.text.size() > SipTransport::MaxDatagramSize) {
        lastError_ = 25;
        return false;
    }
    lastSentInvite_ = invite.text;
    reinviteKind_ = 0;
    dialog_->state = InviteSent;
    NoteSent(invite_, false);
    // The host hears of the call before the INVITE leaves; the first copy goes at once
    // rather than at the next tick, so a user pressing Call never waits for a clock.
    agent_.PostLineEvent(EventType::Connecting, lineNo_);
    ArmAndSend(InviteSlot, invite.text, invite.host, invite.port);
    return true;
}

void SipCall::PostFinalResponseEvent(const SipMessage& response)
{
    int status = response.GetStatusCode();
    std::string reason = response.GetReasonPhrase();
    if (response.Is1xx())
        agent_.PostResponseEvent(EventType::ProvisionalResponse, lineNo_, status, reason);
    else if (response.Is3xx())
        agent_.PostEvent(EventType::RedirectionResponse, {lineNo_, status, reason, response.GetContact()});
    else if (response.Is4xx())
        agent_.PostResponseEvent(EventType::RequestFailureResponse, lineNo_, status, reason);
    else if (response.Is5xx())
        agent_.PostResponseEvent(EventType::ServerFailureResponse, lineNo_, status, reason);
    else if (response.Is6xx())
        agent_.PostResponseEvent(EventType::GeneralFailureResponse, lineNo_, status, reason);
}

// A final failure: ACK it, forget the dialog and tell the host.
void SipCall::AcknowledgeAndReset(const SipMessage& response, const std::string& text)
{
    if (response.Is1xx()) {
        PostFinalResponseEvent(response);
        return;
    }
    SendAck(text);
    StopMedia();
    Reset();
    PostFinalResponseEvent(response);
}

void SipCall::SendAck(const std::string& responseText)
{
    OutgoingMessage ack;
    if (dialog_->BuildAck(responseText, inviteBranch_, ack))
        SendOnce(ack);
}

void SipCall::NoteSent(SentRequest& request, bool withCredentials) const
{
    request.cseq = dialog_->cseq - 1;
    request.outstanding = true;
    request.withCredentials = withCredentials;
}

int SipCall::CSeqNumberOf(const SipMessage& message)
{
    std::string number;
    std::string method;
    if (!SipMessage::SplitCSeq(message.GetCSeq(), number, method))
        return -1;
    return std::atoi(number.c_str());
}

bool SipCall::IsSettingUp() const
{
    int state = dialog_->state;
    return state == InviteSent || state == InviteSentWithCredentials || state == RingingReceived ||
           state == TryingReceived;
}

// Answers are matched to the INVITE this call sent last by their CSeq number; an
// answer to anything else changes nothing.
void SipCall::OnInviteResponse(const SipMessage& response, const std::string& text)
{
    if (invite_.cseq < 0)
        return;
    if (response.Is2xx()) {
        OnInvite2xx(response, text);
        return;
    }
    if (CSeqNumberOf(response) != invite_.cseq)
        return;
    if (response.Is1xx()) {
        if (invite_.outstanding)
            OnInviteProvisional(response);
        return;
    }
    if (!invite_.outstanding) {
        // The final answer again: our ACK was lost.
        SendAck(text);
        return;
    }
    invite_.outstanding = false;
    int status = response.GetStatusCode();
    if (status == 401 || status == 407)
        OnInviteChallenge(response, text);
    else
        OnInviteFinalFailure(response, text);
}

void SipCall::OnInviteProvisional(const SipMessage& response)
{
    int status = response.GetStatusCode();
    int state = dialog_->state;
    std::string reason = response.GetReasonPhrase();
    if (status == 100) {
        if (state == InviteSent || state == InviteSentWithCredentials) {
            dialog_->state = TryingReceived;
            Clear(InviteSlot);
        } else if (state == Confirmed) {
            Clear(InviteSlot);
        }
    } else if (status == 180) {
        if (state != InviteSent && state != InviteSentWithCredentials && state != TryingReceived)
            return;
        if (state != TryingReceived)
            Clear(InviteSlot);
        dialog_->state = RingingReceived;
        MediaStart started;
        StartMediaFromSdp(response.GetBody(), true, true, started);
    } else if (status == 183) {
        // Early media belongs to a call still being set up, never to one that ended.
        if (!IsSettingUp())
            return;
        MediaStart started;
        StartMediaFromSdp(response.GetBody(), true, true, started);
    }
    agent_.PostResponseEvent(EventType::ProvisionalResponse, lineNo_, status, reason);
}

void SipCall::OnInviteFinalFailure(const SipMessage& response, const std::string& text)
{
    if (dialog_->state == Confirmed)
        OnReInviteFailure(response, text);
    else
        AcknowledgeAndReset(response, text);
}

// A refused re-INVITE leaves the session as it was; only an answer saying the dialog
// is gone at the peer (481, 408) ends the call.
void SipCall::OnReInviteFailure(const SipMessage& response, const std::string& text)
{
    int status = response.GetStatusCode();
    if (status == 481 || status == 408) {
        AcknowledgeAndReset(response, text);
        return;
    }
    SendAck(text);
    Clear(InviteSlot);
    PostFinalResponseEvent(response);
}

void SipCall::OnInviteChallenge(const SipMessage& response, const std::string& text)
{
    bool answerable = IsSettingUp() || (dialog_->state == Confirmed && reinviteKind_ != 0);
    SendAck(text);
    if (answerable && !invite_.withCredentials && AnswerInviteChallenge(response))
        return;
    if (IsSettingUp())
        FailSetUp();
    else if (dialog_->state == Confirmed)
        Clear(InviteSlot);
}

void SipCall::FailSetUp()
{
    StopMedia();
    nonceCount_ = 0;
    Reset();
    agent_.PostLineEvent(EventType::FailToConnect, lineNo_);
}

void SipCall::OnInvite2xx(const SipMessage& response, const std::string& text)
{
    int state = dialog_->state;
    int cseq = CSeqNumberOf(response);
    if (state == Idle) {
        EndUnwantedLeg(text);
        return;
    }
    if (state == Confirmed) {
        OnReInvite2xx(response, text, cseq);
        return;
    }
    if (!IsSettingUp() || cseq != invite_.cseq)
        return;
    invite_.outstanding = false;
    nonceCount_ = 0;
    Clear(InviteSlot);
    dialog_->UpdateFrom2xx(text);
    SendAck(text);
    dialog_->state = Confirmed;
    MediaStart started;
    if (StartMediaFromSdp(response.GetBody(), true, true, started))
        OnConnected(started);
    else if (started.encryptionRefused)
        EndForEncryption(EventType::FailToConnect);
}

void SipCall::OnReInvite2xx(const SipMessage& response, const std::string& text, int cseq)
{
    if (SipIdentifiers::TagOf(response.GetTo()) != SipIdentifiers::TagOf(dialog_->remoteParty)) {
        EndUnwantedLeg(text);
        return;
    }
    SendAck(text);
    if (cseq != invite_.cseq || !invite_.outstanding)
        return;
    invite_.outstanding = false;
    nonceCount_ = 0;
    Clear(InviteSlot);
    dialog_->UpdateRemoteTarget(response.GetContact());
    MediaStart started;
    if (reinviteKind_ == 2 && !StartMediaFromSdp(response.GetBody(), true, true, started) &&
        started.encryptionRefused)
        EndForEncryption(EventType::DisconnectCall);
}

void SipCall::EndUnwantedLeg(const std::string& text)
{
    SipDialog leg = *dialog_;
    if (!leg.UpdateFrom2xx(text))
        return;
    OutgoingMessage ack;
    if (leg.BuildAck(text, inviteBranch_, ack))
        SendOnce(ack);
    OutgoingMessage bye;
    if (leg.BuildBye({}, {}, bye))
        ArmAndSend(Automatic, bye.text, bye.host, bye.port, std::to_string(leg.cseq - 1) + "BYE");
    // The call's own later requests must not reuse the leg's CSeq number.
    dialog_->cseq = leg.cseq;
}

void SipCall::OnConnected(const MediaStart& started)
{
    codec_ = started.codec;
    agent_.PostEvent(EventType::SuccessToConnect, {lineNo_, started.ip, started.port});
}

void SipCall::EndForEncryption(EventType event)
{
    EndCall();
    agent_.SetLastError(CallEncryption::Unavailable);
    agent_.PostLineEvent(event, lineNo_);
}

bool SipCall::ReadChallenge(const SipMessage& response, DigestChallenge& challenge)
{
    return response.GetStatusCode() == 407 ? response.GetProxyChallenge(challenge)
                                           : response.GetWwwChallenge(challenge);
}

std::string SipCall::CredentialsFor(const DigestChallenge& challenge, const std::string& method,
                                    const std::string& uri)
{
    return DigestAuth::Credentials(agent_.LoginId(), agent_.LoginPassword(), method, uri, challenge, nonceCount_);
}

bool SipCall::AnswerChallenge(const SipMessage& response, const char* method,
                              const std::string& sentText, SipMessage& sent, Credential& credential)
{
    DigestChallenge challenge;
    if (!ReadChallenge(response, challenge))
        return false;
    if (!sent.Parse(sentText))
        return false;
    std::string value = CredentialsFor(challenge, method, sent.GetRequestUri());
    if (value.empty())
        return false;
    (response.GetStatusCode() == 407 ? credential.proxyAuthorization : credential.authorization) = value;
    return true;
}

bool SipCall::AnswerInviteChallenge(const SipMessage& response)
{
    SipMessage lastInvite;
    Credential credential;
    if (!AnswerChallenge(response, "INVITE", lastSentInvite_, lastInvite, credential))
        return false;
    OutgoingMessage invite;
    if (dialog_->state != Confirmed) {
        std::string normalisedTo;
        if (!dialog_->BuildInvite(lastInvite.GetBody(), credential.authorization, credential.proxyAuthorization,
                                  lastInvite.GetRequestUri(), invite, inviteBranch_, normalisedTo))
            return false;
        dialog_->state = InviteSentWithCredentials;
    } else if (!dialog_->BuildReInvite(lastInvite.GetBody(), credential.authorization,
                                       credential.proxyAuthorization, invite)) {
        return false;
    }
    lastSentInvite_ = invite.text;
    NoteSent(invite_, true);
    ArmAndSend(InviteSlot, invite.text, invite.host, invite.port);
    return true;
}

void SipCall::OnInviteTimeout()
{
    nonceCount_ = 0;
    if (dialog_->state == Confirmed)
        return;
    StopMedia();
    ClearAll();
    dialog_->state = Idle;
    OutgoingMessage cancel;
    if (dialog_->BuildCancel(inviteBranch_, cancel))
        ArmAndSend(CancelSlot, cancel.text, cancel.host, cancel.port);
    agent_.PostLineEvent(EventType::FailToConnect, lineNo_);
}

void SipCall::OnCancelResponse(const SipMessage& response, const std::string& text)
{
    if (response.Is2xx())
        ClearAll();
    else
        AcknowledgeAndReset(response, text);
}

void SipCall::OnByeResponse(const SipMessage& response, const std::string& text)
{
    int cseq = CSeqNumberOf(response);
    int legSlot = FindKey(std::to_string(cseq) + "BYE");
    if (legSlot >= 0) {
        if (!response.Is1xx())
            Clear(legSlot);
        return;
    }
    if (cseq == bye_.cseq && bye_.outstanding)
        OnOwnByeAnswer(response, text);
}

void SipCall::OnOwnByeAnswer(const SipMessage& response, const std::string& text)
{
    if (response.Is1xx()) {
        PostFinalResponseEvent(response);
        return;
    }
    bye_.outstanding = false;
    int status = response.GetStatusCode();
    if (response.Is2xx())
        Reset();
    else if (status == 401 || status == 407)
        AnswerByeChallenge(response, text);
    else
        AcknowledgeAndReset(response, text);
}

// A BYE refused again after it carried credentials is not retried: the call ends here
// as a hang-up does.
void SipCall::AnswerByeChallenge(const SipMessage& response, const std::string& text)
{
    SendAck(text);
    SipMessage lastBye;
    Credential credential;
    OutgoingMessage bye;
    if (!bye_.withCredentials && AnswerChallenge(response, "BYE", lastSentBye_, lastBye, credential) &&
        dialog_->BuildBye(credential.authorization, credential.proxyAuthorization, bye)) {
        lastSentBye_ = bye.text;
        NoteSent(bye_, true);
        ArmAndSend(ByeSlot, bye.text, bye.host, bye.port);
        return;
    }
    Reset();
}

bool SipCall::Disconnect()
{
    int state = dialog_->state;
    StopMedia();
    ClearAll();
    dialog_->state = Idle;
    OutgoingMessage message;
    if (state == Confirmed) {
        if (!SendBye())
            return false;
    } else if (dialog_->isClient && state >= InviteSent && state <= TryingReceived) {
        if (!dialog_->BuildCancel(inviteBranch_, message)) {
            lastError_ = 38;
            return false;
        }
        ArmAndSend(CancelSlot, message.text, message.host, message.port);
    } else {
        Reset();
    }
    Clock::Sleep(10);
    return true;
}

bool SipCall::SendBye()
{
    OutgoingMessage bye;
    if (!dialog_->BuildBye({}, {}, bye)) {
        lastError_ = 28;
        return false;
    }
    lastSentBye_ = bye.text;
    NoteSent(bye_, false);
    ArmAndSend(ByeSlot, bye.text, bye.host, bye.port);
    return true;
}

void SipCall::HangUpAfterAck()
{
    StopMedia();
    byeAtAck_ = true;
}

// RFC 3261 §15: no BYE before the ACK of our 2xx, or before the 2xx is no longer
// resent without one. The dialog counts as confirmed then, and ends at once.
void SipCall::ByeAfterAnswer()
{
    Clear(OkSlot);
    dialog_->state = Idle;
    if (!SendBye())
        Reset();
}

void SipCall::HangUp()
{
    StopMedia();
    int state = dialog_->state;
    OutgoingMessage message;
    if (dialog_->isClient && state >= InviteSent && state <= TryingReceived) {
        if (dialog_->BuildCancel(inviteBranch_, message))
            SendTwice(message);
    } else if (state == Confirmed) {
        if (dialog_->BuildBye({}, {}, message))
            SendTwice(message);
        dialog_->state = Idle;
    } else if (state == Ringing) {
        // A caller still hearing ringing is told the call will not be answered.
        if (dialog_->BuildResponse(lastReceivedInvite_, 480, "Temporarily Unavailable", {}, message))
            SendOnce(message);
        dialog_->state = Idle;
    }
}

// A request of this call that cannot leave ends it as a failure at once, as RFC 3261
// §8.1.3.1 has a transport error count as a 503: the call being set up with
// OnFailToConnect, a confirmed one as if the peer had hung up. A CANCEL or BYE after
// the host hung up ends the dialog without a word; answers and ACKs change nothing.
void SipCall::OnMessageNotSent(const std::string& text)
{
    SipMessage sent;
    if (!sent.Parse(text) || !sent.IsRequest() || sent.IsAck())
        return;
    const int cseq = CSeqNumberOf(sent);
    const std::string method = sent.GetMethod();
    if (method == "BYE") {
        if (int legSlot = FindKey(std::to_string(cseq) + "BYE"); legSlot >= 0)
            Clear(legSlot);
        else if (cseq == bye_.cseq)
            Reset();
    } else if (method == "CANCEL") {
        if (dialog_->state == Idle)
            Reset();
    } else if (method == "INVITE" && cseq == invite_.cseq && IsSettingUp()) {
        FailSetUp();
    } else if (dialog_->state == Confirmed && (method != "INVITE" || cseq == invite_.cseq)) {
        StopMedia();
        Reset();
        agent_.PostLineEvent(EventType::DisconnectCall, lineNo_);
    }
}

void SipCall::OnSlotTimeout(int slot, const std::string&, const std::string&, int)
{
    switch (slot) {
    case InviteSlot:
        OnInviteTimeout();
        break;
    case CancelSlot:
    case ByeSlot:
        Reset();
        break;
    case FinalResponseSlot:
        if (dialog_->state == RejectedAwaitingAck || (IsPending() && dialog_->state == Idle))
            agent_.DeferDelete(this);
        break;
    case OkSlot:
        if (byeAtAck_ && dialog_->state == AnsweredAwaitingAck)
            ByeAfterAnswer();
        else if (dialog_->state != Confirmed)
            dialog_->state = Idle;
        break;
    default:
        break;
    }
}

bool SipCall::Hold()
{
    if (!SendReInvite("sendonly", "0.0.0.0", 1))
        return false;
    agent_.Media().Hold(lineNo_);
    return true;
}

bool SipCall::Unhold()
{
    if (!SendReInvite("sendrecv", {}, 2))
        return false;
    agent_.Media().Unhold(lineNo_);
    return true;
}

bool SipCall::SendReInvite(const std::string& direction, const std::string& connectionAddress, int kind)
{
    if (dialog_->state != Confirmed) {
        lastError_ = 34;
        return false;
    }
    std::string sdp;
    if (!BuildLocalSdp(direction, sdp, connectionAddress))
        return false;
    OutgoingMessage reinvite;
    if (!dialog_->BuildReInvite(sdp, {}, {}, reinvite)) {
        lastError_ = 25;
        return false;
    }
    lastSentInvite_ = reinvite.text;
    reinviteKind_ = kind;
    NoteSent(invite_, false);
    ArmAndSend(InviteSlot, reinvite.text, reinvite.host, reinvite.port);
    return true;
}

bool SipCall::Refer(const std::string& target, const std::string& replaces)
{
    OutgoingMessage refer;
    if (!dialog_->BuildRefer(target, replaces, {}, {}, refer)) {
        lastError_ = ReferNotBuilt;
        return false;
    }
    referTarget_ = target;
    referReplaces_ = replaces;
    lastSentRefer_ = refer.text;
    NoteSent(refer_, false);
    ArmAndSend(ReferSlot, refer.text, refer.host, refer.port);
    return true;
}

std::string SipCall::ReplacesText() const
{
    return dialog_->callId + ";to-tag=" + SipIdentifiers::TagOf(dialog_->remoteParty) +
           ";from-tag=" + SipIdentifiers::TagOf(dialog_->localParty);
}

std::string SipCall::PeerAddress() const
{
    SipAddress peer;
    if (!SipUri::SplitUri(dialog_->remoteParty, peer))
        return {};
    std::string user = peer.user.empty() ? std::string() : peer.user + "@";
    std::string port = peer.port == SipUri::DefaultPort ? std::string() : ":" + std::to_string(peer.port);
    return "sip:" + user + peer.host + port;
}

void SipCall::OnReferResponse(const SipMessage& response)
{
    if (CSeqNumberOf(response) != refer_.cseq || !refer_.outstanding)
        return;
    if (response.Is1xx()) {
        PostFinalResponseEvent(response);
        return;
    }
    refer_.outstanding = false;
    Clear(ReferSlot);
    int status = response.GetStatusCode();
    if (response.Is2xx()) {
        agent_.PostLineEvent(EventType::CallTransferAccepted, lineNo_);
        return;
    }
    SipMessage lastRefer;
    Credential credential;
    OutgoingMessage refer;
    if ((status == 401 || status == 407) && !refer_.withCredentials &&
        AnswerChallenge(response, "REFER", lastSentRefer_, lastRefer, credential) &&
        dialog_->BuildRefer(referTarget_, referReplaces_, credential.authorization, credential.proxyAuthorization,
                            refer)) {
        lastSentRefer_ = refer.text;
        NoteSent(refer_, true);
        ArmAndSend(ReferSlot, refer.text, refer.host, refer.port);
        return;
    }
    OnInDialogRequestFailure(response, true);
}

void SipCall::OnInDialogRequestFailure(const SipMessage& response, bool endsCall)
{
    int status = response.GetStatusCode();
    if (endsCall || status == 481 || status == 408)
        EndCall();
    PostFinalResponseEvent(response);
}

void SipCall::EndCall()
{
    HangUp();
    Reset();
}

void SipCall::SendInfo(int code)
{
    if (dialog_->state == Idle)
        return;
    OutgoingMessage info;
    std::string cseqNumber;
    if (dialog_->BuildInfo(code, 800, info, cseqNumber))
        ArmAndSend(Automatic, info.text, info.host, info.port, cseqNumber + "INFO");
}

void SipCall::OnInfoResponse(const SipMessage& response)
{
    int slot = FindKey(std::to_string(CSeqNumberOf(response)) + "INFO");
    if (slot < 0)
        return;
    if (response.Is1xx()) {
        PostFinalResponseEvent(response);
        return;
    }
    Clear(slot);
    if (!response.Is2xx())
        OnInDialogRequestFailure(response, false);
}

// ---- Incoming calls -------------------------------------------------------------

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
    Respond(text, status, reason, FinalResponseSlot);
    return false;
}

void SipCall::BeginIncoming(const SipMessage& invite)
{
    transport_ = agent_.Source().transport;
    SipAddress target;
    SipUri::SplitUri(invite.GetRequestUri(), target);
    // The answer goes back the way the INVITE came; later requests go the call's way.
    const bool keysMayTravel = transport_ == SipTransportKind::Tls &&
                               agent_.KeysMayTravel(transport_, SipUri::ToLower(target.scheme) == "sips");
    encryption_.Begin(agent_.MediaEncryption(), keysMayTravel);
}

bool SipCall::TakesOffer(const SipMessage& invite)
{
    BeginIncoming(invite);
    return encryption_.CanAnswer(invite.GetBody());
}

void SipCall::OnInvite(const SipMessage& invite, const std::string& text)
{
    const bool offerTaken = dialog_->state != Idle || TakesOffer(invite);
    std::vector<std::string> vias = invite.GetVias();
    ViaParts topVia;
    if (vias.empty() || !SipMessage::SplitVia(vias.front(), topVia))
        return;
    inviteBranch_ = topVia.branch;
    std::string reason;
    if (!invite.CheckAccept(reason)) {
        // Known by its Call-ID, so that the ACK and repeated INVITEs find this call.
        dialog_->callId = invite.GetCallId();
        Respond(text, 406, reason, FinalResponseSlot);
        return;
    }
    if (!offerTaken) {
        dialog_->callId = invite.GetCallId();
        Respond(text, 488, "Not Acceptable Here", FinalResponseSlot);
        return;
    }
    if (!dialog_->AcceptInvite(text))
        return;
    lastReceivedInvite_ = text;
    OutgoingMessage trying;
    if (dialog_->BuildResponse(text, 100, "Trying", {}, trying))
        SendOnce(trying);
    int state = dialog_->state;
    if (state == Confirmed) {
        AnswerReInvite(text);
        return;
    }
    OutgoingMessage ringing;
    if (dialog_->BuildResponse(text, 180, "Ringing", {}, ringing))
        SendOnce(ringing);
    if (state == Idle) {
        dialog_->state = Ringing;
        ringingSinceTick_ = Tick();
        agent_.WakeTick();
        ReportIncomingCall(invite);
    }
}

void SipCall::ReportIncomingCall(const SipMessage& invite)
{
    SipAddress from;
    SipAddress to;
    SipUri::SplitUri(invite.GetFrom(), from);
    SipUri::SplitUri(invite.GetTo(), to);
    agent_.PostEvent(EventType::IncomingCall,
                     {dialog_->callId, WithoutQuotes(from.displayName), WithoutQuotes(from.user),
                      SipUri::BuildNameAddr(from.host, from.port, from.user, from.scheme, from.displayName),
                      SipUri::BuildNameAddr(to.host, to.port, to.user, to.scheme, to.displayName)});
    agent_.PostEvent(EventType::IncomingCallRingingStart, {dialog_->callId});
}

void SipCall::AnswerReInvite(const std::string& text)
{
    SipMessage reinvite;
    reinvite.Parse(text);
    std::string direction = "sendrecv";
    std::string body = reinvite.GetBody();
    if (!body.empty()) {
        SdpDescription offer;
        if (!offer.Parse(body))
            return;
        if (offer.GetDirection() == "sendonly")
            direction = "recvonly";
        else if (offer.GetDirection() == "inactive")
            direction = "inactive";
    }
    std::string sdp;
    if (!BuildLocalSdp(direction, sdp, {}, body)) {
        // An offer that would cost the call its encryption leaves it as it was.
        Respond(lastReceivedInvite_, 488, "Not Acceptable Here", FinalResponseSlot);
        return;
    }
    Respond(lastReceivedInvite_, 200, "OK", OkSlot, sdp);
}

bool SipCall::Answer(const CodecList& engineCodecs)
{
    codecs_ = engineCodecs;
    if (dialog_->state != Ringing)
        return true;
    dialog_->state = AnsweredAwaitingAck;
    SipMessage invite;
    invite.Parse(lastReceivedInvite_);
    std::string sdp;
    if (!BuildLocalSdp("sendrecv", sdp, {}, invite.GetBody())) {
        dialog_->state = Ringing;
        return false;
    }
    Respond(lastReceivedInvite_, 200, "OK", OkSlot, sdp);
    return true;
}

bool SipCall::AnswerReplacing(const SipMessage& invite, const std::string& text, const CodecList& engineCodecs)
{
    std::vector<std::string> vias = invite.GetVias();
    ViaParts topVia;
    if (vias.empty() || !SipMessage::SplitVia(vias.front(), topVia) || !dialog_->AcceptInvite(text))
        return false;
    inviteBranch_ = topVia.branch;
    lastReceivedInvite_ = text;
    OutgoingMessage trying;
    if (dialog_->BuildResponse(text, 100, "Trying", {}, trying))
        SendOnce(trying);
    dialog_->state = Ringing;
    return Answer(engineCodecs);
}

bool SipCall::TakePeerInfoCSeq(int cseq)
{
    if (cseq <= peerInfoCseq_)
        return false;
    peerInfoCseq_ = cseq;
    return true;
}

bool SipCall::Reject()
{
    if (dialog_->state != Ringing)
        return true;
    dialog_->state = RejectedAwaitingAck;
    Respond(lastReceivedInvite_, 486, "Busy Here", FinalResponseSlot);
    return true;
}

void SipCall::CheckRingingLimit()
{
    if (dialog_->state != Ringing || Tick() - ringingSinceTick_ < RingingLimitTicks)
        return;
    StopMedia();
    dialog_->state = RejectedAwaitingAck;
    Respond(lastReceivedInvite_, 480, "Temporarily Unavailable", FinalResponseSlot);
    PostRingingStop();
}

void SipCall::PostRingingStop()
{
    agent_.PostEvent(EventType::IncomingCallRingingStop, {dialog_->callId});
}

void SipCall::ConnectMediaAtAck(const SipMessage& ack)
{
    std::string number;
    std::string method;
    if (!SipMessage::SplitCSeq(ack.GetCSeq(), number, method) || std::atoi(number.c_str()) != dialog_->inviteCseq)
        return;
    if (byeAtAck_) {
        ByeAfterAnswer();
        return;
    }
    Clear(OkSlot);
    dialog_->state = Confirmed;
    std::string sdp = ack.GetBody();
    if (sdp.empty()) {
        SipMessage invite;
        invite.Parse(lastReceivedInvite_);
        sdp = invite.GetBody();
    }
    MediaStart started;
    if (StartMediaFromSdp(sdp, true, true, started))
        OnConnected(started);
    else if (started.encryptionRefused)
        EndForEncryption(EventType::DisconnectCall);
}

void SipCall::UpdateMediaAtReInviteAck(const SipMessage& ack)
{
    Clear(OkSlot);
    SipMessage invite;
    invite.Parse(lastReceivedInvite_);
    std::string offerText = invite.GetBody();
    std::string answer = ack.GetBody().empty() ? offerText : ack.GetBody();
    SdpDescription offer;
    bool send = true;
    if (offer.Parse(offerText)) {
        std::string address;
        offer.GetConnectionAddress(address);
        // A peer holding the call (sendonly, inactive or the null address) gets no audio.
        std::string direction = offer.GetDirection();
        send = direction != "sendonly" && direction != "inactive" && address != "0.0.0.0";
    }
    MediaStart started;
    if (!StartMediaFromSdp(answer, send, true, started) && started.encryptionRefused)
        EndForEncryption(EventType::DisconnectCall);
}

void SipCall::OnAck(const SipMessage& ack)
{
    switch (dialog_->state) {
    case AnsweredAwaitingAck:
        ConnectMediaAtAck(ack);
        break;
    case Confirmed:
        // The ACK of a refused re-INVITE changes nothing.
        if (IsArmed(FinalResponseSlot))
            Clear(FinalResponseSlot);
        else
            UpdateMediaAtReInviteAck(ack);
        break;
    default:
        Clear(FinalResponseSlot);
        if (dialog_->state == RejectedAwaitingAck || (IsPending() && dialog_->state == Idle))
            agent_.DeferDelete(this);
        break;
    }
}

void SipCall::OnCancel(const std::string& text)
{
    if (dialog_->state != Ringing)
        return;
    dialog_->state = Idle;
    Respond(lastReceivedInvite_, 487, "Request Terminated", FinalResponseSlot);
    OutgoingMessage ok;
    if (dialog_->BuildResponse(text, 200, "OK", {}, ok))
        SendOnce(ok);
    PostRingingStop();
}

void SipCall::AnswerLateCancel(const std::string& text)
{
    OutgoingMessage ok;
    if (dialog_->BuildResponse(text, 200, "OK", {}, ok))
        SendOnce(ok);
}

void SipCall::OnBye(const std::string& text)
{
    if (dialog_->state != Idle) {
        dialog_->state = Idle;
        ClearAll();
        StopMedia();
        // The host hung up already when the call ends in the background.
        if (!byeAtAck_)
            agent_.PostLineEvent(EventType::DisconnectCall, lineNo_);
    }
    OutgoingMessage ok;
    if (dialog_->BuildResponse(text, 200, "OK", {}, ok))
        SendOnce(ok);
}
