#include "useragent/SipUserAgent.h"

#include "media/MediaEngine.h"
#include "media/DtmfTone.h"
#include "platform/Clock.h"
#include "platform/MessageWindow.h"
#include "sipsyntax/LocalAddress.h"
#include "sipsyntax/SipMessage.h"
#include "sipsyntax/SipUri.h"
#include "useragent/CallEncryption.h"
#include "useragent/EventSink.h"
#include "useragent/PeerTransfers.h"
#include "useragent/RegistrationClient.h"
#include "useragent/SipCall.h"
#include "useragent/SipDispatcher.h"
#include "useragent/StunClient.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

bool SameCallId(const std::string& a, const std::string& b)
{
    return SipUri::ToLower(a) == SipUri::ToLower(b);
}

// The Call-ID a call takes when it is reset; no message may ever reach such a call.
bool IsResetCallId(const std::string& callId)
{
    return SameCallId(callId, SipDialog::ResetCallId);
}

} // namespace

SipUserAgent::SipUserAgent(EventSink* sink, MessageLoop& loop)
    : sink_(sink),
      loop_(loop),
      sender_(loop, transport_, *this),
      media_(std::make_unique<MediaEngine>(loop)),
      registration_(std::make_unique<RegistrationClient>(*this)),
      transfers_(std::make_unique<PeerTransfers>(*this)),
      dispatcher_(std::make_unique<SipDispatcher>(*this)),
      stun_(std::make_unique<StunClient>(loop, *media_))
{
}

SipUserAgent::~SipUserAgent()
{
    UnInitialize();
    window_.reset();
}

bool SipUserAgent::Fail(int error)
{
    UnInitialize();
    lastError_ = error;
    return false;
}

int SipUserAgent::TranslateMediaError(int mediaError)
{
    static constexpr std::array<int, 18> controlCodes = {10, 11, 10, 14, 15, 16, 17, 18, 19,
                                                         20, 33, 29, 31, 21, 35, 36, 37, 13};
    if (mediaError >= 50 && mediaError <= 67)
        return controlCodes[static_cast<std::size_t>(mediaError - 50)];
    return mediaError;
}

bool SipUserAgent::Initialize(bool bindToListenIp, const std::string& listenIp, int listenPort,
                              const std::string& fromUri, const std::string& outboundProxy, const std::string& proxy,
                              const std::string& loginId, const std::string& loginPassword, bool useSoundDevice,
                              int lineCount)
{
    UnInitialize();
    lastError_ = 0;
    // Every line costs a media session up front: an absurd count must fail, not
    // exhaust memory.
    if (lineCount > MaxLines)
        return Fail(29);
    lineCount_ = std::max(lineCount, 0);
    lines_.clear();
    lines_.resize(static_cast<std::size_t>(lineCount_));
    lineDevices_.assign(static_cast<std::size_t>(lineCount_), {-1, -1});
    doNotDisturb_ = false;
    listenIp_ = listenIp;
    listenPort_ = listenPort;
    SetPublicContact({}, 0);
    codecs_.SelectAll();

    if (!transport_.Open(bindToListenIp ? listenIp : std::string(), listenPort))
        return Fail(11);
    if (!media_->Start(lineCount_, useSoundDevice, this))
        return Fail(TranslateMediaError(media_->LastError()));
    if (!window_) {
        window_ = std::make_unique<MessageWindow>(loop_, "OrvSIPObjectWnd",
                                                  [this](unsigned message, std::uintptr_t wParam, std::intptr_t) {
                                                      OnWindowMessage(message, wParam);
                                                  });
    }
    tickOrigin_ = Clock::MonotonicMs();
    if (!sender_.Start(bindToListenIp ? listenIp : std::string(), listenPort))
        return Fail(11);

    loginId_ = loginId;
    loginPassword_ = loginPassword;
    proxy_ = proxy;
    if (!SplitOutboundProxy(outboundProxy))
        return Fail(11);
    fromIdentity_ = !fromUri.empty() ? fromUri : loginId + " <sip:" + loginId + "@" + IdentityHost(proxy) + ">";
    registration_->Configure(listenIp_, listenPort_, fromIdentity_, outboundProxy, proxy_);
    useSoundDevice_ = useSoundDevice;
    initialized_ = true;
    return true;
}

bool SipUserAgent::SplitOutboundProxy(const std::string& outboundProxy)
{
    outboundProxy_ = {};
    if (outboundProxy.empty())
        return true;
    SipAddress address;
    if (!SipUri::SplitUri(outboundProxy, address) || address.host.empty())
        return false;
    outboundProxy_ = {address.transport, address.host, address.portGiven ? address.port : 0};
    return true;
}

// Without a proxy the account lives at this user agent's own address; with one, at its
// host and port (the transport it names is no part of the account's address).
std::string SipUserAgent::IdentityHost(const std::string& proxy) const
{
    SipAddress address;
    if (proxy.empty() || !SipUri::SplitUri(proxy, address) || address.host.empty())
        return !proxy.empty() ? proxy : listenIp_.empty() ? LocalAddress::SelectLocalAddress() : listenIp_;
    return address.portGiven ? address.host + ":" + std::to_string(address.port) : address.host;
}

void SipUserAgent::HangUpAll()
{
    for (auto& call : pendingCalls_)
        call->HangUp();
    pendingCalls_.clear();
    for (auto& call : lines_) {
        if (call)
            call->HangUp();
    }
    transfers_->HangUpAll();
}

void SipUserAgent::UnInitialize()
{
    // Nothing new may start while the un-registration waits; what arrives meanwhile
    // for the calls being ended is ended too once the wait is over.
    unInitializing_ = true;
    HangUpAll();
    if (initialized_)
        registration_->Unregister();
    HangUpAll();
    unInitializing_ = false;
    initialized_ = false;
    if (window_) {
        for (unsigned timer : {RegistrationResendTimer, RegistrationRefreshTimer, KeepAliveTimer, CallTickTimer})
            window_->KillTimer(timer);
        tickRunning_ = false;
        window_->KillTimer(ConnectionKeepAliveTimer);
    }
    sender_.Stop();
    transport_.Close();
    stun_->Stop();
    media_->Stop();
    lines_.clear();
}

SipCall* SipUserAgent::LineCall(int lineNo)
{
    if (lineNo < 0 || lineNo >= static_cast<int>(lines_.size()))
        return nullptr;
    return lines_[static_cast<std::size_t>(lineNo)].get();
}

bool SipUserAgent::CheckLineNumber(int lineNo)
{
    if (!initialized_) {
        lastError_ = 10;
        return false;
    }
    if (lineNo < 0 || lineNo >= lineCount_) {
        lastError_ = 29;
        return false;
    }
    return true;
}

bool SipUserAgent::CheckLine(int lineNo)
{
    if (!CheckLineNumber(lineNo))
        return false;
    if (!media_->IsLineOpen(lineNo)) {
        lastError_ = 31;
        return false;
    }
    return true;
}

bool SipUserAgent::OpenLine(int lineNo, bool bindToRtpIp, const std::string& rtpIp, int rtpPort)
{
    if (!CheckLineNumber(lineNo))
        return false;
    if (IsLineBusy(lineNo)) {
        lastError_ = 30;
        return false;
    }
    if (media_->IsLineOpen(lineNo))
        media_->CloseLine(lineNo);
    if (!media_->OpenLine(lineNo, bindToRtpIp, rtpIp, rtpPort)) {
        lastError_ = TranslateMediaError(media_->LastError());
        return false;
    }
    stun_->OnLineOpened();
    return true;
}

bool SipUserAgent::CloseLine(int lineNo)
{
    if (!CheckLineNumber(lineNo))
        return false;
    transfers_->OnLineHungUp(lineNo);
    if (SipCall* call = LineCall(lineNo))
        call->Disconnect();
    if (!media_->CloseLine(lineNo)) {
        lastError_ = TranslateMediaError(media_->LastError());
        return false;
    }
    return true;
}

bool SipUserAgent::IsLineOpen(int lineNo)
{
    if (!CheckLineNumber(lineNo))
        return false;
    return media_->IsLineOpen(lineNo);
}

bool SipUserAgent::IsLineHold(int lineNo)
{
    if (!CheckLineNumber(lineNo))
        return false;
    return media_->IsLineHold(lineNo);
}

bool SipUserAgent::IsLineBusy(int lineNo)
{
    if (!CheckLineNumber(lineNo))
        return false;
    SipCall* call = LineCall(lineNo);
    return call != nullptr && call->CallState() != 0;
}

bool SipUserAgent::DigitDTMF(int lineNo, const std::string& digit)
{
    if (!CheckLine(lineNo))
        return false;
    int code = DtmfTone::DigitCode(digit);
    media_->PlayLocalTone(code);
    WakeTick();
    SipCall* call = LineCall(lineNo);
    if (call == nullptr || call->CallState() == SipCall::Idle)
        return true;
    bool g711 = call->Codec() == 2 || call->Codec() == 3;
    if (media_->IsForceInband(lineNo))
        media_->PlayInbandDtmf(lineNo, code);
    else if (call->TelephoneEventPayload() != -1)
        media_->SendDtmfEvent(lineNo, call->TelephoneEventPayload(), code);
    else if (!g711)
        call->SendInfo(code);
    else
        media_->PlayInbandDtmf(lineNo, code);
    return true;
}

bool SipUserAgent::EnableForceInbandDTMF(int lineNo)
{
    return CheckLine(lineNo) && media_->SetForceInband(lineNo, true);
}

bool SipUserAgent::DisableForceInbandDTMF(int lineNo)
{
    return CheckLine(lineNo) && media_->SetForceInband(lineNo, false);
}

int SipUserAgent::GetDTMFVolume()
{
    return initialized_ ? media_->DtmfVolume() : -1;
}

bool SipUserAgent::SetDTMFVolume(int volume)
{
    if (!RequireInitialized())
        return false;
    media_->SetDtmfVolume(volume);
    return true;
}

bool SipUserAgent::SetTOS(int lineNo, int value)
{
    return RequireInitialized() && media_->SetTOS(lineNo, value) != 0;
}

int SipUserAgent::GetTOS(int lineNo)
{
    return initialized_ ? media_->GetTOS(lineNo) : -1;
}

bool SipUserAgent::RequireInitialized()
{
    if (!initialized_)
        lastError_ = 10;
    return initialized_;
}

bool SipUserAgent::RegisterToProxy(int expires)
{
    if (!RequireInitialized())
        return false;
    if (!registration_->Register(expires, loginId_, loginPassword_)) {
        lastError_ = registration_->LastError();
        return false;
    }
    return true;
}

bool SipUserAgent::UnRegisterToProxy()
{
    if (!RequireInitialized())
        return false;
    if (!registration_->Unregister()) {
        lastError_ = registration_->LastError();
        return false;
    }
    return true;
}

bool SipUserAgent::EnableKeepAlive(int seconds)
{
    if (!RequireInitialized())
        return false;
    if (seconds <= 0)
        return false;
    registration_->StartKeepAlive(seconds);
    return true;
}

void SipUserAgent::DisableKeepAlive()
{
    if (initialized_)
        registration_->StopKeepAlive();
}

bool SipUserAgent::SelectVoiceCodec(int codecNo)
{
    if (!CodecList::IsAvailable(codecNo)) {
        lastError_ = 23;
        return false;
    }
    codecs_.Select(codecNo);
    return true;
}

bool SipUserAgent::DeselectVoiceCodec(int codecNo)
{
    if (!CodecList::IsValid(codecNo)) {
        lastError_ = 23;
        return false;
    }
    codecs_.Deselect(codecNo);
    return true;
}

const std::string& SipUserAgent::GetMyIP()
{
    myIp_ = LocalAddress::SelectLocalAddress();
    return myIp_;
}

SipCall* SipUserAgent::FindLineCall(const std::string& callId)
{
    if (IsResetCallId(callId))
        return nullptr;
    for (auto& call : lines_) {
        if (call && SameCallId(call->Dialog().callId, callId))
            return call.get();
    }
    return nullptr;
}

SipCall* SipUserAgent::FindCall(const std::string& callId)
{
    if (SipCall* call = FindLineCall(callId))
        return call;
    if (IsResetCallId(callId))
        return nullptr;
    for (auto& call : pendingCalls_) {
        if (SameCallId(call->Dialog().callId, callId))
            return call.get();
    }
    return transfers_->FindCall(callId);
}

void SipUserAgent::Send(const std::string& text, const SipDestination& destination, const SipTransport::Owner& owner)
{
    sender_.Send(text, outboundProxy_.host.empty() ? destination : outboundProxy_, owner);
}

bool SipUserAgent::MoveToNextServer(const SipDestination& destination)
{
    return sender_.MoveToNextServer(outboundProxy_.host.empty() ? destination : outboundProxy_);
}

void SipUserAgent::SendKeepAlive(const SipDestination& registrar)
{
    sender_.KeepAlive(outboundProxy_.host.empty() ? registrar : outboundProxy_);
}

void SipUserAgent::OnMessageSent(const std::string& text, const SipTransport::Owner& owner,
                                 SipTransportKind transport, const std::string& address, int port)
{
    PostDiagnostic(EventType::OutgoingDiagnostic, text, address, port);
    if (owner.kind == SipTransport::Owner::Kind::Call) {
        if (SipCall* call = FindCallBySerial(owner.callSerial))
            call->NoteTransport(transport);
    }
}

void SipUserAgent::OnMessageReceived(const std::string& text, const SipSource& source)
{
    HandleMessage(text, source);
}

void SipUserAgent::OnTransportProblem(const std::string& text, const std::string& address, int port)
{
    PostDiagnostic(EventType::IncomingDiagnostic, text, address, port);
}

void SipUserAgent::OnRegistrationConnectionLost()
{
    registration_->OnConnectionLost();
}

// What could not leave ends what it belonged to, if that is still there.
void SipUserAgent::OnMessageNotSent(const SipTransport::Owner& owner, const std::string& text)
{
    if (owner.kind == SipTransport::Owner::Kind::Registration) {
        registration_->OnRegisterNotSent(text);
    } else if (owner.kind == SipTransport::Owner::Kind::Call) {
        if (SipCall* call = FindCallBySerial(owner.callSerial))
            call->OnMessageNotSent(text);
    }
}

SipCall* SipUserAgent::FindCallBySerial(std::uint64_t serial)
{
    auto same = [serial](const std::unique_ptr<SipCall>& call) { return call != nullptr && call->Serial() == serial; };
    if (auto found = std::find_if(lines_.begin(), lines_.end(), same); found != lines_.end())
        return found->get();
    if (auto found = std::find_if(pendingCalls_.begin(), pendingCalls_.end(), same); found != pendingCalls_.end())
        return found->get();
    return nullptr;
}

void SipUserAgent::PostEvent(EventType type, std::vector<EventValue> values)
{
    // A call moved off its line by a transfer raises nothing (a line event's first value is the line).
    if (!values.empty() && std::holds_alternative<int>(values.front()) && std::get<int>(values.front()) == SipCall::NoLine)
        return;
    if (window_)
        events_.Post(*window_, {type, std::move(values)});
}

void SipUserAgent::PostLineEvent(EventType type, int line)
{
    PostEvent(type, {line});
}

void SipUserAgent::PostResponseEvent(EventType type, int line, int status, const std::string& reason)
{
    PostEvent(type, {line, status, reason});
}

void SipUserAgent::PostDiagnostic(EventType type, const std::string& text, const std::string& ip, int port)
{
    PostEvent(type, {text, ip, port});
}

void SipUserAgent::DeferDelete(SipCall* call)
{
    if (window_)
        window_->Post(DeferDeleteMessage, static_cast<std::uintptr_t>(call->Serial()));
}

void SipUserAgent::OnDeferredDelete(std::uint64_t serial)
{
    auto found = std::find_if(pendingCalls_.begin(), pendingCalls_.end(),
                              [serial](const std::unique_ptr<SipCall>& pending) { return pending->Serial() == serial; });
    if (found == pendingCalls_.end())
        return;
    std::unique_ptr<SipCall> removed = std::move(*found);
    pendingCalls_.erase(found);
    removed->HangUp();
}

SipDialog SipUserAgent::NewDialog() const
{
    SipDialog dialog(listenIp_, listenPort_, proxy_, loginId_, fromIdentity_);
    if (!publicContactIp_.empty()) {
        dialog.contactIp = publicContactIp_;
        dialog.contactPort = publicContactPort_;
    }
    return dialog;
}

void SipUserAgent::SetPublicContact(const std::string& ip, int port)
{
    publicContactIp_ = ip;
    publicContactPort_ = port;
}

bool SipUserAgent::SetStunServer(const std::string& server)
{
    if (!stun_->SetServer(server)) {
        lastError_ = 11;
        return false;
    }
    return true;
}

void SipUserAgent::AdvertisedMediaAddress(int lineNo, std::string& ip, int& port)
{
    if (auto mapped = media_->StunMappedAddress(lineNo)) {
        ip = UdpSocket::DottedAddress(mapped->address);
        port = UdpSocket::PortOf(*mapped);
        return;
    }
    ip = media_->GetLocalAddress(lineNo);
    port = media_->GetLocalPort(lineNo);
}

void SipUserAgent::OnMediaDtmfDigit(int line, const std::string& digit)
{
    PostEvent(EventType::DtmfDigit, {line, digit});
}

void SipUserAgent::OnMediaWaveDone(int line)
{
    PostLineEvent(EventType::PlayWaveDone, line);
}

void SipUserAgent::OnWindowMessage(unsigned message, std::uintptr_t wParam)
{
    switch (message) {
    case MessageWindow::TimerMessage:
        OnTimer(static_cast<unsigned>(wParam));
        break;
    case EventQueue::DeliverMessage:
        events_.DeliverNext(sink_);
        break;
    case DeferDeleteMessage:
        OnDeferredDelete(static_cast<std::uint64_t>(wParam));
        break;
    default:
        break;
    }
}

void SipUserAgent::OnTimer(unsigned timerId)
{
    if (timerId == CallTickTimer)
        Tick();
    else
        registration_->OnTimer(timerId);
}

void SipUserAgent::Tick()
{
    for (auto& call : lines_) {
        if (call)
            call->Advance();
    }
    for (auto& call : pendingCalls_) {
        call->Advance();
        call->CheckRingingLimit();
    }
    transfers_->Tick();
    transfers_->CheckOutcomes();
    media_->CheckTonePlayer();
    if (!TickNeeded())
        StopTick();
}

// The tick keeps the phase it has had since Initialize, so a retransmission armed
// between two ticks goes out on the next whole second as it always did.
void SipUserAgent::WakeTick()
{
    if (tickRunning_ || !window_)
        return;
    const std::int64_t sinceOrigin = Clock::MonotonicMs() - tickOrigin_;
    const auto firstDelay = static_cast<int>(CallTickMs - sinceOrigin % CallTickMs);
    window_->SetTimer(CallTickTimer, CallTickMs, firstDelay);
    tickRunning_ = true;
}

bool SipUserAgent::TickNeeded() const
{
    auto needs = [](const std::unique_ptr<SipCall>& call) { return call != nullptr && call->NeedsTicks(); };
    return std::any_of(lines_.begin(), lines_.end(), needs) ||
           std::any_of(pendingCalls_.begin(), pendingCalls_.end(), needs) || transfers_->NeedsTicks() ||
           media_->TonePlayerNeedsChecks();
}

void SipUserAgent::StopTick()
{
    window_->KillTimer(CallTickTimer);
    tickRunning_ = false;
}

void SipUserAgent::HandleDatagram(const std::string& datagram, const std::string& sourceIp, int sourcePort)
{
    HandleMessage(datagram, {SipTransportKind::Udp, sourceIp, sourcePort});
}

void SipUserAgent::HandleMessage(const std::string& received, const SipSource& source)
{
    // The text ends at the first NUL byte, if any.
    std::string text(received.c_str(), strnlen(received.c_str(), received.size()));
    PostDiagnostic(EventType::IncomingDiagnostic, text, source.ip, source.port);
    SipMessage message;
    if (!message.Parse(text) || IsResetCallId(message.GetCallId()))
        return;
    if (!message.IsRequest()) {
        dispatcher_->OnResponse(message, text);
        return;
    }
    source_ = source;
    std::string stampedText = text;
    // A request that came over a connection is answered over it (RFC 3261 18.2.2).
    const bool stamped = source.transport == SipTransportKind::Udp
                             ? message.RecordSourceInTopVia(source.ip, source.port)
                             : message.RecordConnectionInTopVia(source.ip, source.port);
    if (stamped) {
        std::string stamped = message.ToText();
        if (!stamped.empty())
            stampedText = stamped;
    }
    dispatcher_->OnRequest(message, stampedText, text);
}

void SipUserAgent::AnswerOutsideCall(const std::string& requestText, int status, const std::string& reason)
{
    OutgoingMessage answer;
    if (NewDialog().BuildResponse(requestText, status, reason, {}, answer))
        Send(answer.text, {source_.transport, answer.host, answer.port});
}

bool SipUserAgent::IsPending(const SipCall* call) const
{
    return std::any_of(pendingCalls_.begin(), pendingCalls_.end(),
                       [call](const std::unique_ptr<SipCall>& pending) { return pending.get() == call; });
}

std::list<std::unique_ptr<SipCall>>::iterator SipUserAgent::FindPending(const std::string& callId)
{
    return std::find_if(pendingCalls_.begin(), pendingCalls_.end(), [&](const std::unique_ptr<SipCall>& call) {
        return !call->HangsUpAfterAck() && SameCallId(call->Dialog().callId, callId);
    });
}








void SipUserAgent::SetAcceptTransfer(bool enable)
{
    transfers_->SetAccept(enable);
}

std::string SipUserAgent::GetRemoteParty(int lineNo)
{
    SipCall* call = CallInProgress(lineNo);
    SipAddress peer;
    if (call == nullptr || !SipUri::SplitUri(call->Dialog().remoteParty, peer))
        return {};
    return SipUri::BuildNameAddr(peer.host, peer.port, peer.user, peer.scheme, peer.displayName);
}

bool SipUserAgent::SetMediaEncryption(int mode)
{
    if (!CallEncryption::IsMode(mode)) {
        lastError_ = CallEncryption::Unavailable;
        return false;
    }
    mediaEncryption_ = mode;
    return true;
}

std::string SipUserAgent::GetMediaEncryption(int lineNo)
{
    return CallInProgress(lineNo) != nullptr ? media_->GetMediaEncryption(lineNo) : std::string();
}

bool SipUserAgent::KeysMayTravel(SipTransportKind callTransport, bool sipsTarget) const
{
    const bool outbound = !outboundProxy_.host.empty();
    SipAddress proxy;
    SipUri::SplitUri(proxy_, proxy);
    const SipTransportKind firstHop = outbound ? outboundProxy_.transport : callTransport;
    const SipTransportKind configured = outbound ? outboundProxy_.transport : proxy.transport;
    return firstHop == SipTransportKind::Tls && (sipsTarget || configured == SipTransportKind::Tls);
}

void SipUserAgent::RestoreLineDevices(int lineNo)
{
    const auto [input, output] = lineDevices_[static_cast<std::size_t>(lineNo)];
    AttachLineDevices(lineNo, input, output);
}

bool SipUserAgent::ClearIdleLine(int lineNo)
{
    std::unique_ptr<SipCall>& current = lines_[static_cast<std::size_t>(lineNo)];
    if (!current)
        return true;
    if (current->CallState() != 0) {
        lastError_ = 30;
        return false;
    }
    current->HangUp();
    current.reset();
    return true;
}

bool SipUserAgent::AttachLineDevices(int lineNo, int inputDeviceId, int outputDeviceId)
{
    if (useSoundDevice_ && !media_->AttachDevices(lineNo, inputDeviceId, outputDeviceId)) {
        lastError_ = TranslateMediaError(media_->LastError());
        return false;
    }
    lineDevices_[static_cast<std::size_t>(lineNo)] = {inputDeviceId, outputDeviceId};
    return true;
}

bool SipUserAgent::Connect(int lineNo, const std::string& toUri, int inputDeviceId, int outputDeviceId)
{
    if (!CheckLine(lineNo) || !ClearIdleLine(lineNo))
        return false;
    std::unique_ptr<SipCall>& slot = lines_[static_cast<std::size_t>(lineNo)];
    slot = std::make_unique<SipCall>(*this, lineNo);
    media_->StopMedia(lineNo, true, true);
    media_->Unhold(lineNo);
    if (!AttachLineDevices(lineNo, inputDeviceId, outputDeviceId))
        return false;
    codecs_.ApplyFallback();
    if (!slot->Dial(toUri, codecs_)) {
        lastError_ = slot->LastError();
        return false;
    }
    return true;
}

bool SipUserAgent::Disconnect(int lineNo)
{
    if (!CheckLine(lineNo))
        return false;
    transfers_->OnLineHungUp(lineNo);
    SipCall* call = LineCall(lineNo);
    if (call == nullptr)
        return true;
    if (call->CallState() == SipCall::AnsweredAwaitingAck) {
        EndAfterAck(lineNo);
        return true;
    }
    if (!call->Disconnect()) {
        lastError_ = call->LastError();
        return false;
    }
    return true;
}

// The call leaves its line at once (the line may take a new call) and finishes among
// the calls off a line: its BYE waits for the peer's ACK.
void SipUserAgent::EndAfterAck(int lineNo)
{
    std::unique_ptr<SipCall>& slot = lines_[static_cast<std::size_t>(lineNo)];
    slot->HangUpAfterAck();
    slot->SetLineNo(-1);
    pendingCalls_.push_back(std::move(slot));
}

bool SipUserAgent::AcceptCall(int lineNo, const std::string& callId, int inputDeviceId, int outputDeviceId)
{
    if (!CheckLine(lineNo))
        return false;
    auto pending = FindPending(callId);
    if (pending == pendingCalls_.end()) {
        lastError_ = 32;
        return false;
    }
    if (!ClearIdleLine(lineNo) || !AttachLineDevices(lineNo, inputDeviceId, outputDeviceId))
        return false;
    media_->Unhold(lineNo);
    std::unique_ptr<SipCall>& slot = lines_[static_cast<std::size_t>(lineNo)];
    slot = std::move(*pending);
    pendingCalls_.erase(pending);
    slot->SetLineNo(lineNo);
    codecs_.ApplyFallback();
    if (!slot->Answer(codecs_)) {
        lastError_ = slot->LastError();
        slot->SetLineNo(-1);
        pendingCalls_.push_back(std::move(slot));
        return false;
    }
    return true;
}

bool SipUserAgent::RejectCall(const std::string& callId)
{
    auto pending = FindPending(callId);
    if (pending == pendingCalls_.end()) {
        lastError_ = 32;
        return false;
    }
    return (*pending)->Reject();
}

SipCall* SipUserAgent::CallInProgress(int lineNo)
{
    return CheckLine(lineNo) ? CallOnLine(lineNo) : nullptr;
}

bool SipUserAgent::CallResult(SipCall* call, bool done)
{
    if (!done)
        lastError_ = call->LastError();
    return done;
}

bool SipUserAgent::HoldLine(int lineNo)
{
    SipCall* call = CallInProgress(lineNo);
    return call != nullptr && CallResult(call, call->Hold());
}

bool SipUserAgent::UnHoldLine(int lineNo)
{
    SipCall* call = CallInProgress(lineNo);
    return call != nullptr && CallResult(call, call->Unhold());
}

bool SipUserAgent::TransferCall(int lineNo, const std::string& toUri)
{
    SipCall* call = CallInProgress(lineNo);
    return call != nullptr && CallResult(call, call->Refer(toUri, {}));
}

// Attended transfer: line B's peer is asked to call line A's peer with a Replaces of
// line A's dialog, so that the two peers end up talking to each other.
bool SipUserAgent::JoinTwoLine(int lineNoA, int lineNoB)
{
    SipCall* replaced = CallOnLine(lineNoA);
    SipCall* referred = replaced != nullptr ? CallOnLine(lineNoB) : nullptr;
    if (referred == nullptr)
        return false;
    return CallResult(referred, referred->Refer(replaced->PeerAddress(), replaced->ReplacesText()));
}

// The checks of a line named by a transfer (10, 29), then 34 without a call.
SipCall* SipUserAgent::CallOnLine(int lineNo)
{
    if (!CheckLineNumber(lineNo))
        return nullptr;
    SipCall* call = LineCall(lineNo);
    if (call == nullptr || call->CallState() == SipCall::Idle) {
        lastError_ = 34;
        return nullptr;
    }
    return call;
}

int SipUserAgent::GetOutboundCodec(int lineNo)
{
    if (!CheckLine(lineNo))
        return -1;
    if (!IsLineBusy(lineNo)) {
        lastError_ = 34;
        return -1;
    }
    return media_->GetOutboundCodec(lineNo);
}

int SipUserAgent::GetInboundCodec(int lineNo)
{
    if (!CheckLine(lineNo))
        return -1;
    if (!IsLineBusy(lineNo)) {
        lastError_ = 34;
        return -1;
    }
    return media_->GetInboundCodec(lineNo);
}
