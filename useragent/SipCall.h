#pragma once

#include "useragent/CallEncryption.h"
#include "useragent/CodecList.h"
#include "useragent/EventRecord.h"
#include "useragent/RetransmitTable.h"
#include "useragent/SipDialog.h"

#include <cstdint>
#include <memory>
#include <string>

class SdpDescription;
class SipMessage;
class SipUserAgent;
struct DigestChallenge;

// One call: its dialog, its retransmissions and what it remembers of the messages
// exchanged. Lives on a line, or in the engine's pending list while it rings.
class SipCall : public RetransmitTable {
public:
    // A call still ringing this long is ended with 480.
    static constexpr int RingingLimitTicks = 180;
    // The error of a REFER that cannot be built.
    static constexpr int ReferNotBuilt = 39;
    // The line of a call that gave its line to a transfer: it touches no media and
    // the host hears nothing of it while it ends.
    static constexpr int NoLine = -2;

    enum State {
        Idle = 0,
        InviteSent = 1,
        InviteSentWithCredentials = 2,
        RingingReceived = 3,
        TryingReceived = 4,
        Ringing = 5,
        Confirmed = 6,
        AnsweredAwaitingAck = 7,
        RejectedAwaitingAck = 8,
    };

    SipCall(SipUserAgent& agent, int lineNo);

    SipDialog& Dialog() { return *dialog_; }
    const SipDialog& Dialog() const { return *dialog_; }
    int CallState() const { return dialog_->state; }
    int LineNo() const { return lineNo_; }
    void SetLineNo(int lineNo) { lineNo_ = lineNo; }
    int LastError() const { return lastError_; }
    int Codec() const { return codec_; }
    int TelephoneEventPayload() const { return telephoneEventPayload_; }
    // Unique for the life of the process, so a deferred deletion never hits a newer
    // call that happens to live at the same address.
    std::uint64_t Serial() const { return serial_; }
    // The transport of the call's signalling: the one its first hop's URI names, the
    // one its INVITE came by, or (for a domain whose DNS chose it) the one its first
    // request left by; Unspecified until then. Tls: every request of the call is
    // encrypted.
    SipTransportKind Transport() const { return transport_; }
    // A request of the call left by `transport`.
    void NoteTransport(SipTransportKind transport);

    // Outgoing calls.
    bool Dial(const std::string& toUri, const CodecList& engineCodecs);
    void OnInviteResponse(const SipMessage& response, const std::string& text);
    void OnCancelResponse(const SipMessage& response, const std::string& text);
    void OnByeResponse(const SipMessage& response, const std::string& text);
    bool Disconnect();
    // Drops the call without waiting for answers.
    void HangUp();
    // The host hung up an answered call whose ACK has not come: its media stops now,
    // the BYE goes when the ACK comes or the 2xx is given up; the call then goes.
    void HangUpAfterAck();
    bool HangsUpAfterAck() const { return byeAtAck_; }

    // Hold and unhold re-INVITEs; the line's media changes at once, before any answer.
    bool Hold();
    bool Unhold();
    // REFER to `target`; with a Replaces text (attended transfer) it names another
    // dialog that the peer's new call replaces.
    bool Refer(const std::string& target, const std::string& replaces);
    void OnReferResponse(const SipMessage& response);
    // What an attended transfer needs of the call whose dialog is replaced.
    std::string ReplacesText() const;
    std::string PeerAddress() const;

    // DTMF as a SIP INFO request, resent until answered.
    void SendInfo(int code);
    void OnInfoResponse(const SipMessage& response);

    // Incoming calls and requests inside a call.
    bool CheckInDialog(const std::string& text);
    void OnInvite(const SipMessage& invite, const std::string& text);
    void OnAck(const SipMessage& ack);
    void OnCancel(const std::string& text);
    // A CANCEL that comes too late to stop anything: answered 200, the call goes on.
    void AnswerLateCancel(const std::string& text);
    void OnBye(const std::string& text);
    bool Answer(const CodecList& engineCodecs);
    // Whether a new call's INVITE can be answered as the media encryption setting asks
    // (an INVITE without an offer can); it is refused with 488 otherwise.
    bool TakesOffer(const SipMessage& invite);
    // An INVITE that replaces a call of this user agent (RFC 3891), after TakesOffer:
    // answered at once, without ringing and without telling the host of a new call.
    bool AnswerReplacing(const SipMessage& invite, const std::string& text, const CodecList& engineCodecs);
    // A peer's INFO counts once: false for a CSeq already seen (a retransmission).
    bool TakePeerInfoCSeq(int cseq);
    bool Reject();
    // Ends a call that has rung for too long; run on every tick.
    void CheckRingingLimit();
    // One of this call's messages could not leave (SipTransport).
    void OnMessageNotSent(const std::string& text);
    // Whether the call has something for the engine's tick to time: a slot to
    // resend, or its ringing limit.
    bool NeedsTicks() const { return AnyArmed() || dialog_->state == Ringing; }

    // Chooses the codec from a peer's SDP by this side's preference and starts media.
    struct MediaStart {
        int codec = -1;
        std::string ip;
        int port = 0;
        // The SDP leaves the call without the encryption it needs (error 41).
        bool encryptionRefused = false;
    };
    bool StartMediaFromSdp(const std::string& sdp, bool send, bool receive, MediaStart& started);
    // Starts the line's media again as the call last ran it (a transfer that failed
    // gives the call its line back).
    bool ResumeMedia();

protected:
    void SendEntry(const std::string& text, const std::string& host, int port) override;
    void OnSlotTimeout(int slot, const std::string& text, const std::string& host, int port) override;
    void OnArmed() override;

private:
    // A request of this side that may be challenged: its CSeq number, whether it still
    // waits for a final answer and whether it already carried credentials. One
    // credential retry is allowed per request, whatever the call's state does meanwhile.
    struct SentRequest {
        int cseq = -1;
        bool outstanding = false;
        bool withCredentials = false;
    };

    // Clears the slots and forgets the dialog; a call ending in the background goes.
    void Reset();
    void StopMedia();
    bool SendBye();
    void ByeAfterAnswer();
    void SendOnce(const OutgoingMessage& message);
    void SendTwice(const OutgoingMessage& message);
    // The connection address is the call's own unless another is given (hold: 0.0.0.0).
    // With the peer's offer it is the answer to it, else an offer: an offer proposes
    // RTCP on the RTP port, an answer takes it when the offer did.
    bool BuildLocalSdp(const std::string& direction, std::string& sdp, const std::string& connectionAddress = {},
                       const std::string& peerOffer = {});
    // Where the peer's SDP says it takes RTCP.
    void StartRtcp(const SdpDescription& description, const MediaStart& started);
    bool SendReInvite(const std::string& direction, const std::string& connectionAddress, int kind);
    // A failed in-dialog request (REFER, INFO): the host hears of it; the call ends only
    // when the answer says the dialog is gone.
    void OnInDialogRequestFailure(const SipMessage& response, bool endsCall);
    // Ends a confirmed call from this side without waiting for answers.
    void EndCall();
    void Respond(const std::string& request, int status, const std::string& reason, int slot,
                 const std::string& sdp = {});
    void PostFinalResponseEvent(const SipMessage& response);
    void AcknowledgeAndReset(const SipMessage& response, const std::string& text);
    void SendAck(const std::string& responseText);
    // Remembers the request just built by the dialog (it took the last CSeq number).
    void NoteSent(SentRequest& request, bool withCredentials) const;
    static int CSeqNumberOf(const SipMessage& message);
    bool IsSettingUp() const;
    void OnInviteProvisional(const SipMessage& response);
    void OnInviteFinalFailure(const SipMessage& response, const std::string& text);
    void OnInviteChallenge(const SipMessage& response, const std::string& text);
    void OnReInviteFailure(const SipMessage& response, const std::string& text);
    void OnInvite2xx(const SipMessage& response, const std::string& text);
    void OnReInvite2xx(const SipMessage& response, const std::string& text, int cseq);
    // A 2xx this side does not want (the call was hung up, or another fork answered):
    // acknowledged, then ended with a BYE of its own; no media, no event.
    void EndUnwantedLeg(const std::string& text);
    // Ends a call whose set-up failed for good, without a CANCEL.
    void FailSetUp();
    bool AnswerInviteChallenge(const SipMessage& response);
    void AnswerByeChallenge(const SipMessage& response, const std::string& text);
    void OnOwnByeAnswer(const SipMessage& response, const std::string& text);
    // The header value answering a 401 (authorization) or a 407 (proxyAuthorization).
    struct Credential {
        std::string authorization;
        std::string proxyAuthorization;
    };
    static bool ReadChallenge(const SipMessage& response, DigestChallenge& challenge);
    // The credential answering a challenge to the request last sent (parsed into
    // `sent`); false when there is nothing to answer with.
    bool AnswerChallenge(const SipMessage& response, const char* method, const std::string& sentText,
                         SipMessage& sent, Credential& credential);
    std::string CredentialsFor(const DigestChallenge& challenge, const std::string& method, const std::string& uri);
    void OnConnected(const MediaStart& started);
    // The peer's SDP leaves the call without the encryption it needs: it ends with a
    // BYE, the host hears `event` and reads 41 as the error.
    void EndForEncryption(EventType event);
    // What the call's SRTP dropped, told as a diagnostic once its media stopped.
    void ReportSrtpDiscards();
    // A call the peer starts: the transport its INVITE came by, and its encryption.
    void BeginIncoming(const SipMessage& invite);
    void PostRingingStop();
    void OnInviteTimeout();
    void AnswerReInvite(const std::string& text);
    void ReportIncomingCall(const SipMessage& invite);
    void ConnectMediaAtAck(const SipMessage& ack);
    void UpdateMediaAtReInviteAck(const SipMessage& ack);
    bool IsPending() const { return lineNo_ < 0; }

    // Where this call's SDP asks the peer to send, taken at its first SDP on a line and
    // kept for the call: the address its NAT binding was made for.
    struct SdpAddress {
        int line = -1;
        std::string ip;
        int port = 0;
    };

    SipUserAgent& agent_;
    const std::uint64_t serial_;
    SdpAddress sdpAddress_;
    SipTransportKind transport_ = SipTransportKind::Unspecified;
    std::unique_ptr<SipDialog> dialog_;
    int lineNo_;
    int lastError_ = 0;
    int nonceCount_ = 0;
    int telephoneEventPayload_ = -1;
    int codec_ = -1;
    CodecList codecs_ = CodecList::CallDefault();
    CallEncryption encryption_;
    // The call's SRTP, kept across its media's restarts; made with its first keys.
    std::shared_ptr<SrtpSession> srtp_;
    std::string inviteBranch_;
    std::string lastReceivedInvite_;
    std::string lastSentInvite_;
    std::string lastSentBye_;
    SentRequest invite_;
    SentRequest bye_;
    SentRequest refer_;
    std::string lastSentRefer_;
    std::string referTarget_;
    std::string referReplaces_;
    int reinviteKind_ = 0;
    int ringingSinceTick_ = 0;
    int peerInfoCseq_ = -1;
    struct LastMedia {
        std::string sdp;
        bool send = false;
        bool receive = false;
        std::string ip;
        int port = 0;
    } lastMedia_;
    bool byeAtAck_ = false;
};
