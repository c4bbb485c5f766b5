#pragma once

#include "media/MediaEngineOwner.h"
#include "platform/UdpSocket.h"
#include "useragent/CodecList.h"
#include "useragent/EventQueue.h"
#include "useragent/EventRecord.h"
#include "useragent/SipDialog.h"
#include "useragent/SipTransport.h"

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

class EventSink;
class MediaEngine;
class MessageLoop;
class MessageWindow;
class PeerTransfers;
class RegistrationClient;
class SipCall;
class SipDispatcher;
class SipMessage;
class StunClient;

// The SIP engine: the SIP socket, the lines with their calls, the pending incoming
// calls, registration and the event queue. Everything runs on the thread of the
// message loop it was created with.
class SipUserAgent : private MediaEngineOwner, private SipTransport::Listener {
    friend class PeerTransfers;
    friend class SipDispatcher;

public:
    static constexpr unsigned DeferDeleteMessage = 0x2B13;
    static constexpr unsigned RegistrationTimeoutTimer = 2000;
    static constexpr unsigned RegistrationResendTimer = 2001;
    static constexpr unsigned RegistrationRefreshTimer = 2002;
    static constexpr unsigned KeepAliveTimer = 2003;
    static constexpr unsigned CallTickTimer = 2004;
    static constexpr unsigned ConnectionKeepAliveTimer = 2005;
    static constexpr int CallTickMs = 1000;

    SipUserAgent(EventSink* sink, MessageLoop& loop);
    ~SipUserAgent() override;
    SipUserAgent(const SipUserAgent&) = delete;
    SipUserAgent& operator=(const SipUserAgent&) = delete;

    bool Initialize(bool bindToListenIp, const std::string& listenIp, int listenPort, const std::string& fromUri,
                    const std::string& outboundProxy, const std::string& proxy, const std::string& loginId,
                    const std::string& loginPassword, bool useSoundDevice, int lineCount);
    void UnInitialize();
    bool OpenLine(int lineNo, bool bindToRtpIp, const std::string& rtpIp, int rtpPort);
    bool CloseLine(int lineNo);
    bool IsLineOpen(int lineNo);
    bool IsLineHold(int lineNo);
    bool IsLineBusy(int lineNo);
    bool CheckLine(int lineNo);
    SipCall* FindCall(const std::string& callId);
    int GetLastError() const { return lastError_; }
    // For the control's own failures (the media methods it calls directly).
    void SetLastError(int error) { lastError_ = error; }
    // The preferred local IPv4 address; the returned text is overwritten by each call.
    const std::string& GetMyIP();
    bool IsInitialized() const { return initialized_; }

    // Calls.
    bool Connect(int lineNo, const std::string& toUri, int inputDeviceId, int outputDeviceId);
    bool Disconnect(int lineNo);
    bool AcceptCall(int lineNo, const std::string& callId, int inputDeviceId, int outputDeviceId);
    bool RejectCall(const std::string& callId);
    void EnableDonotDisturb() { doNotDisturb_ = true; }
    void DisableDonotDisturb() { doNotDisturb_ = false; }
    int GetOutboundCodec(int lineNo);
    int GetInboundCodec(int lineNo);

    // Hold and transfer.
    bool HoldLine(int lineNo);
    bool UnHoldLine(int lineNo);
    bool TransferCall(int lineNo, const std::string& toUri);
    bool JoinTwoLine(int lineNoA, int lineNoB);
    // Whether a peer may transfer a call of this user agent (its REFER, or an INVITE
    // with Replaces); off by default and across Initialize.
    void SetAcceptTransfer(bool enable);
    // The name-addr of the peer of the line's call (34 without one).
    std::string GetRemoteParty(int lineNo);
    // The STUN server the lines learn their public RTP address from ("host[:port]");
    // empty for none, the default; kept across Initialize. false (11) for a text that
    // names no server.
    bool SetStunServer(const std::string& server);
    // SRTP for calls begun from now on (CallEncryption::Mode); false (41) for another
    // value. Kept across Initialize.
    bool SetMediaEncryption(int mode);
    int MediaEncryption() const { return mediaEncryption_; }
    // The SRTP suite of the line's call, "" for plain RTP (34 without a call).
    std::string GetMediaEncryption(int lineNo);
    // Whether a key written into the SDP of a call stays private: its requests leave
    // over TLS (to the outbound proxy, when one is set) and either its target is a
    // sips: URI or the proxy they go through was given as a TLS one, so that its later
    // hops are the provider's to keep secure (RFC 3261 §26.2.2).
    bool KeysMayTravel(SipTransportKind callTransport, bool sipsTarget) const;
    // Ringing calls waiting for an answer; INVITEs of new calls beyond this are busy.
    static constexpr std::size_t MaxPendingCalls = 16;
    // The most lines one user agent runs (TotalLine beyond it: error 29).
    static constexpr int MaxLines = 1024;

    // DTMF.
    bool DigitDTMF(int lineNo, const std::string& digit);
    bool EnableForceInbandDTMF(int lineNo);
    bool DisableForceInbandDTMF(int lineNo);
    int GetDTMFVolume();
    bool SetDTMFVolume(int volume);
    bool SetTOS(int lineNo, int value);
    int GetTOS(int lineNo);

    bool RegisterToProxy(int expires);
    bool UnRegisterToProxy();
    bool EnableKeepAlive(int seconds);
    void DisableKeepAlive();

    void SelectAllVoiceCodec() { codecs_.SelectAll(); }
    void DeselectAllVoiceCodec() { codecs_.DeselectAll(); }
    bool SelectVoiceCodec(int codecNo);
    bool DeselectVoiceCodec(int codecNo);
    // Empty engine lists become PCMU, PCMA before a call copies them.
    void ApplyCodecFallback() { codecs_.ApplyFallback(); }
    const CodecList& Codecs() const { return codecs_; }

    // Handles one received message as if it had come as a datagram of the SIP socket,
    // for a caller that has the bytes without the socket (the fuzz target).
    void HandleDatagram(const std::string& datagram, const std::string& sourceIp, int sourcePort);
    void HandleMessage(const std::string& received, const SipSource& source);

    // Every SIP message leaves through Send, announced as OnOutgoingDiagnostic once the
    // system took it; its owner hears later when it cannot leave. With an outbound
    // proxy, everything goes to it.
    void Send(const std::string& text, const SipDestination& destination, const SipTransport::Owner& owner = {});
    // The registration's keep-alive (a CRLF datagram, or a ping on its connection).
    void SendKeepAlive(const SipDestination& registrar);
    SipTransport& Transport() { return sender_; }
    // The destination's server failed (503, silence): its next messages go to the next
    // server its domain names; false when none is left.
    bool MoveToNextServer(const SipDestination& destination);
    // Lets look-ups finish and what arrives be handled while a method waits without
    // the loop.
    void ProcessTransport() { sender_.ProcessNow(); }
    // How the request being handled came.
    const SipSource& Source() const { return source_; }
    // The dotted address of a host known without asking a DNS server; empty otherwise.
    std::string KnownAddress(const std::string& host) { return sender_.KnownAddress(host); }
    // The values in the order of the event's parameters.
    void PostEvent(EventType type, std::vector<EventValue> values = {});
    void PostLineEvent(EventType type, int line);
    void PostResponseEvent(EventType type, int line, int status, const std::string& reason);
    void PostDiagnostic(EventType type, const std::string& text, const std::string& ip, int port);
    // Frees a pending call later, from the message loop, if it is still pending then.
    void DeferDelete(SipCall* call);
    // Something needs the one-second tick (a call armed a retransmission, a call
    // rings, a key tone plays): it runs until nothing does.
    void WakeTick();
    bool TickRunning() const { return tickRunning_; }

    // A dialog with this engine's local values, for answers outside any call.
    SipDialog NewDialog() const;
    // The address a registrar saw this side's SIP datagrams come from, when it differs
    // from the listen address (a NAT): new dialogs put it in their Contact. An empty
    // ip goes back to the listen address.
    void SetPublicContact(const std::string& ip, int port);
    // The address and port a line's SDP names: the public ones a STUN server told,
    // else the line's own.
    void AdvertisedMediaAddress(int lineNo, std::string& ip, int& port);
    const std::string& ListenIp() const { return listenIp_; }
    int ListenPort() const { return listenPort_; }
    const std::string& Proxy() const { return proxy_; }
    const std::string& LoginId() const { return loginId_; }
    const std::string& LoginPassword() const { return loginPassword_; }
    const std::string& FromIdentity() const { return fromIdentity_; }
    MediaEngine& Media() { return *media_; }
    MessageWindow* Window() { return window_.get(); }

    static int TranslateMediaError(int mediaError);

private:
    void OnMediaDtmfDigit(int line, const std::string& digit) override;
    void OnMediaWaveDone(int line) override;
    void OnMessageSent(const std::string& text, const SipTransport::Owner& owner, SipTransportKind transport,
                       const std::string& address, int port) override;
    void OnMessageNotSent(const SipTransport::Owner& owner, const std::string& text) override;
    void OnMessageReceived(const std::string& text, const SipSource& source) override;
    void OnTransportProblem(const std::string& text, const std::string& address, int port) override;
    void OnRegistrationConnectionLost() override;
    SipCall* FindCallBySerial(std::uint64_t serial);

    void OnWindowMessage(unsigned message, std::uintptr_t wParam);
    void OnTimer(unsigned timerId);
    // Answers a request once, with a dialog of its own, over the way the request came.
    void AnswerOutsideCall(const std::string& requestText, int status, const std::string& reason);
    // The sound devices a line's call was given, given again to the line (a failed
    // transfer gives the old call its line back).
    void RestoreLineDevices(int lineNo);
    // Frees the idle call of a line before a new call takes the line; false (30) when
    // the line's call is still active.
    bool ClearIdleLine(int lineNo);
    void EndAfterAck(int lineNo);
    bool AttachLineDevices(int lineNo, int inputDeviceId, int outputDeviceId);
    std::list<std::unique_ptr<SipCall>>::iterator FindPending(const std::string& callId);
    bool IsPending(const SipCall* call) const;
    void Tick();
    bool TickNeeded() const;
    void StopTick();
    void OnDeferredDelete(std::uint64_t serial);
    void HangUpAll();
    SipCall* LineCall(int lineNo);
    SipCall* FindLineCall(const std::string& callId);
    // The line's call when the line passes CheckLine and has a call in progress (34).
    SipCall* CallInProgress(int lineNo);
    SipCall* CallOnLine(int lineNo);
    // The call's error becomes the engine's when `done` is false.
    bool CallResult(SipCall* call, bool done);
    // Not initialised: 10; out of range: 29.
    bool CheckLineNumber(int lineNo);
    bool SplitOutboundProxy(const std::string& outboundProxy);
    std::string IdentityHost(const std::string& proxy) const;
    bool Fail(int error);
    bool RequireInitialized();

    EventSink* sink_;
    MessageLoop& loop_;
    std::unique_ptr<MessageWindow> window_;
    UdpSocket transport_;
    SipTransport sender_;
    std::unique_ptr<MediaEngine> media_;
    std::vector<std::unique_ptr<SipCall>> lines_;
    int lineCount_ = -1;
    bool useSoundDevice_ = false;
    int lastError_ = 0;
    bool initialized_ = false;
    bool unInitializing_ = false;
    std::unique_ptr<RegistrationClient> registration_;
    std::string loginId_;
    std::string loginPassword_;
    std::string proxy_;
    // Everything goes here when an outbound proxy is set (an empty host otherwise).
    SipDestination outboundProxy_;
    std::string listenIp_;
    int listenPort_ = 0;
    std::string fromIdentity_;
    bool doNotDisturb_ = false;
    int mediaEncryption_ = 0;
    // The calls off a line: incoming calls not accepted yet, in arrival order, and
    // answered calls hung up before their ACK, ending in the background.
    std::list<std::unique_ptr<SipCall>> pendingCalls_;
    std::unique_ptr<PeerTransfers> transfers_;
    std::unique_ptr<SipDispatcher> dispatcher_;
    std::unique_ptr<StunClient> stun_;
    std::string publicContactIp_;
    int publicContactPort_ = 0;
    // The devices each line was last given (input, output).
    std::vector<std::pair<int, int>> lineDevices_;
    // Where the message being handled came from.
    SipSource source_;
    std::string myIp_;
    CodecList codecs_;
    EventQueue events_;
    bool tickRunning_ = false;
    // The ticks fall on whole seconds from this moment (Initialize).
    std::int64_t tickOrigin_ = 0;
};
