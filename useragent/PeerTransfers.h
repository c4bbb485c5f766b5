#pragma once

#include <list>
#include <memory>
#include <string>

class CallTransferee;
class SipCall;
class SipMessage;
class SipUserAgent;
class ReplacesHeader;

// Transfers the other side starts, while the host accepts them (SetAcceptTransfer):
// a REFER inside a connected call (RFC 3515, this side the transferee of RFC 5589)
// and an INVITE whose Replaces names a call of this user agent (RFC 3891, this side
// the transfer target). Either way a new call takes the line of an old one; the old
// dialog ends without the host hearing of it. Also keeps the old calls that gave up
// their line until their BYE or CANCEL is done.
class PeerTransfers {
public:
    explicit PeerTransfers(SipUserAgent& agent);
    ~PeerTransfers();
    PeerTransfers(const PeerTransfers&) = delete;
    PeerTransfers& operator=(const PeerTransfers&) = delete;

    void SetAccept(bool accept) { accept_ = accept; }
    bool Accepts() const { return accept_; }

    // A REFER inside the call on a line; answered here.
    void OnRefer(SipCall& call, const SipMessage& refer, const std::string& text);
    // An INVITE with a Replaces header, from sourceIp:sourcePort; answered here.
    void OnReplacingInvite(const SipMessage& invite, const std::string& text, const std::string& sourceIp,
                           int sourcePort);
    // An old call (of a transfer, or ending) with this Call-ID, or null.
    SipCall* FindCall(const std::string& callId);
    // Answers to NOTIFYs; the final answers of target calls are noted on the way.
    void OnNotifyResponse(const SipMessage& response);
    void NoteResponse(const SipMessage& response);
    // Whether a request carries the tags of the call's dialog (From: the peer's, To: ours).
    static bool IsInDialogOf(const SipCall& call, const SipMessage& request);
    // Whether a REFER in this dialog is already being carried out.
    bool IsTransferring(const SipCall& call) const;

    // After every message and tick: a target call answered keeps its line and ends
    // the old dialog; one that failed gives the line back to the old call.
    void CheckOutcomes();
    // The host hung up the line while its transfer ran: the old dialog ends too.
    void OnLineHungUp(int lineNo);
    void Tick();
    bool NeedsTicks() const;
    void HangUpAll();

private:
    void Succeed(CallTransferee& transfer);
    void Fail(CallTransferee& transfer);
    // Sends the old call's BYE (or CANCEL) and keeps it until that is done.
    void EndQuietly(std::unique_ptr<SipCall> call);
    // The status answering an INVITE that replaces `call` (0: accept it).
    int ReplacingVerdict(const SipCall& call, const ReplacesHeader& replaces, const std::string& sourceIp,
                         int sourcePort) const;
    bool IsTrustedSource(const SipCall& call, const std::string& sourceIp, int sourcePort) const;
    int LineOf(const SipCall& call) const;
    void Answer(const std::string& text, int status, const std::string& reason);

    SipUserAgent& agent_;
    bool accept_ = false;
    std::list<std::unique_ptr<CallTransferee>> transfers_;
    std::list<std::unique_ptr<SipCall>> ending_;
};
