#pragma once

// The OrvSIP user agent control: a SIP user agent with its methods and events, for
// a host program to embed. Create it with `new`/on the stack when linking the
// library, through the class factory (OrvComponent.h), or by ProgID through the
// per-user registry (OrvCreateInstance).
//
// Threading: a control belongs to the thread that created it, and that thread must
// run the control's message loop: watch EventDescriptor() for readability and call
// DispatchEvents(), or call RunFor()/RunUntil(). Socket reads, timers and all event
// deliveries happen there, never inside a method call. Called on any other thread, a
// method does nothing and fails (false, -1, an empty text; GetOrvObjectError gives 40
// there), Advise gives 0 and the loop functions return at once. Delete the control on
// its own thread, or on any thread once its own has ended.
//
// Every member but the two static ones is virtual, so that a host holding only the
// pointer handed out by a class factory of a library it loaded at run time needs none
// of its symbols.

#include "OrvComponent.h"
#include "OrvDispatch.h"
#include "OrvSIPUserAgentOCXEvents.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class ORV_EXPORT OrvSIPUserAgentOCX {
public:
    OrvSIPUserAgentOCX();
    // Runs UnInitialize when the host did not; events still queued are dropped.
    virtual ~OrvSIPUserAgentOCX();
    OrvSIPUserAgentOCX(const OrvSIPUserAgentOCX&) = delete;
    OrvSIPUserAgentOCX& operator=(const OrvSIPUserAgentOCX&) = delete;

    // ---- Dispatch interface -------------------------------------------------------
    // The methods and the events, each with its dispatch identifier, parameters,
    // result and a line of help.
    virtual const std::vector<OrvMemberInfo>& Methods() const;
    virtual const std::vector<OrvMemberInfo>& Events() const;
    // The same lists without a control, for a host that links the library (a
    // language binding giving its class the methods before any control exists).
    static const std::vector<OrvMemberInfo>& ClassMethods();
    static const std::vector<OrvMemberInfo>& ClassEvents();
    // The dispatch identifier of a method (the exact name), or -1.
    virtual int GetIDOfName(const std::string& name) const;
    // Calls a method: OrvMemberNotFound, OrvBadParameterCount or OrvTypeMismatch
    // when the call does not fit; otherwise OrvOk with the method's result.
    virtual OrvResult Invoke(int dispId, const std::vector<OrvValue>& arguments, OrvValue& result);

    // ---- Event connections ----------------------------------------------------------
    // Connects a sink (owned by the host, which keeps it alive until Unadvise); the
    // cookie is above 0, and 0 for a null sink. Several sinks may be connected; each
    // gets every event, in the order they were connected.
    virtual int Advise(OrvSIPUserAgentOCXEvents* sink);
    virtual bool Unadvise(int cookie);

    // ---- Message loop ---------------------------------------------------------------
    // Readable whenever something is due: a datagram, a timer or a queued event.
    virtual int EventDescriptor() const;
    // Runs what is due without blocking; the number of messages handled.
    virtual int DispatchEvents();
    virtual void RunFor(int milliseconds);
    // Runs the loop until `done` holds or the time is up; whether `done` held.
    virtual bool RunUntil(const std::function<bool()>& done, int timeoutMs);

    // ---- Methods ----------------------------------------------------------------------
    virtual void UnInitialize();
    virtual int GetOrvObjectError();
    virtual bool CloseLine(int lineNo);
    virtual bool Connect(int lineNo, const std::string& toUri, int inputDeviceId, int outputDeviceId);
    virtual bool Disconnect(int lineNo);
    virtual bool AcceptCall(int lineNo, const std::string& callId, int inputDeviceId, int outputDeviceId);
    virtual bool RejectCall(const std::string& callId);
    virtual bool TransferCall(int lineNo, const std::string& toUri);
    virtual bool HoldLine(int lineNo);
    virtual bool UnHoldLine(int lineNo);
    virtual bool RegisterToProxy(int expire);
    virtual bool UnRegisterToProxy();
    virtual bool IsLineOpen(int lineNo);
    virtual bool IsLineHold(int lineNo);
    virtual bool IsLineBusy(int lineNo);
    virtual bool EnableKeepAlive(int seconds);
    virtual void DisableKeepAlive();
    virtual void DeselectAllVoiceCodec();
    virtual void SelectAllVoiceCodec();
    virtual bool SelectVoiceCodec(int codecNo);
    virtual bool DeselectVoiceCodec(int codecNo);
    virtual std::string GetMyIP();
    virtual bool DigitDTMF(int lineNo, const std::string& digit);
    virtual bool MuteMic(bool mute);
    virtual bool MuteSpk(bool mute);
    virtual int GetMicVolume();
    virtual bool SetMicVolume(int volume);
    virtual int GetSpkVolume();
    virtual bool SetSpkVolume(int volume);
    virtual bool EnableMicBoost();
    virtual bool DisableMicBoost();
    virtual bool IsMicBoostEnable();
    virtual bool EnableAGC(int level);
    virtual bool DisableAGC();
    virtual bool EnableEchoNoiseCancellation();
    virtual bool DisableEchoNoiseCancellation();
    virtual void EnableDonotDisturb();
    virtual void DisableDonotDisturb();
    virtual bool SetTOS(int lineNo, int value);
    virtual int GetTOS(int lineNo);
    virtual bool EnableForceInbandDTMF(int lineNo);
    virtual bool DisableForceInbandDTMF(int lineNo);
    virtual int GetDTMFVolume();
    virtual bool SetDTMFVolume(int volume);
    virtual int GetMicSoundLevel();
    virtual int GetSpkSoundLevel();
    virtual int GetAudioInDevTotal();
    virtual int GetAudioOutDevTotal();
    virtual std::string GetAudioOutDevName(int deviceId);
    virtual std::string GetAudioInDevName(int deviceId);
    // sipProxy (the registrar and the calls' first hop) and sipOutBoundProxy (every
    // message goes there when it is set) are a host, host:port or a SIP URI. They choose
    // the transport: UDP by default, TCP with ";transport=tcp", TLS with ";transport=tls"
    // or "sips:" (the server's certificate checked against the system's CAs and the
    // file ORVSIP_TLS_CA_FILE names). A domain without a port is found through its DNS
    // NAPTR and SRV records.
    virtual bool Initialize(bool bindToListenIp, const std::string& listenIp, int listenPort,
                            const std::string& fromUri, const std::string& sipOutBoundProxy,
                            const std::string& sipProxy, const std::string& loginId, const std::string& loginPwd,
                            bool useSoundDevice, int totalLine);
    virtual bool OpenLine(int lineNo, bool bindToRtpRxIp, const std::string& rtpRxIp, int rtpRxPort);
    virtual int GetOutboundCodec(int lineNo);
    virtual int GetInboundCodec(int lineNo);
    virtual std::string GetVersionFile();
    virtual std::string GetVersionSDK();
    virtual bool JoinTwoLine(int lineNoA, int lineNoB);
    // Wave files played into a line's call and the line's call recording.
    virtual bool IsRecording(int lineNo);
    virtual bool StopRecording(int lineNo);
    virtual bool ResetRecording(int lineNo);
    virtual bool SaveRecordingToWaveFile(int lineNo, const std::string& fileName);
    virtual bool IsWaveFilePlaying(int lineNo);
    virtual bool PlayWaveOpen(int lineNo, const std::string& fileName);
    virtual bool PlayWaveSkipTo(int lineNo, int seconds);
    virtual int PlayWaveTotalTime(int lineNo);
    virtual bool PlayWavePause(int lineNo);
    virtual bool PlayWaveStart(int lineNo, bool listen);
    virtual bool PlayWaveStop(int lineNo);
    virtual int PlayWavePosition(int lineNo);
    virtual bool StartRecording(int lineNo, int recordVoice, bool recordCompress);

    // ---- Methods added since ------------------------------------------------------------
    // Last, so that the others keep the slots hosts built against older headers use.
    // Whether a peer may transfer this side's calls (its REFER, an INVITE with
    // Replaces); off by default, kept across Initialize.
    virtual void SetAcceptTransfer(bool enable);
    // The name-addr of the peer the line's call is with now; "" and error 34 without a call.
    virtual std::string GetRemoteParty(int lineNo);
    // The STUN server ("host[:port]", port 3478 by default) that tells the lines'
    // public RTP address for their SDP behind a NAT; "" for none, the default. Kept
    // across Initialize; false with error 11 for a text naming no server.
    virtual bool SetStunServer(const std::string& server);
    // SRTP with keys exchanged in the SDP (RFC 4568) for the calls begun from now on: 0
    // off (the default), 1 offered (used when the peer takes it), 2 required (a call
    // without it fails with 41). Keys go only into the SDP of a call whose signalling
    // is TLS to a sips: target or through a proxy given as a TLS one. Kept across
    // Initialize; false with 41 for another mode.
    virtual bool SetMediaEncryption(int mode);
    // The SRTP suite of the line's call ("AES_CM_128_HMAC_SHA1_80"...), "" for plain
    // RTP; "" and error 34 without a call.
    virtual std::string GetMediaEncryption(int lineNo);
    // The figures of the line's call (or of its last one, until the next begins) as
    // "key=value;..." text: codec, sent_packets, sent_bytes, received_packets,
    // received_bytes, lost, peer_lost, jitter_ms, peer_jitter_ms, rtt_ms, concealed,
    // jb_delay_ms and mos; -1 for a figure not known yet.
    virtual std::string GetCallStatistics(int lineNo);
    // 1 records the call as one mixed channel (the default), 2 in stereo: this side
    // left, the peer right; error 33 for another number, or for stereo with compression.
    virtual bool SetRecordingChannels(int lineNo, int channels);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
