#pragma once

#include "sipsyntax/SipUri.h"
#include "useragent/RetransmitTable.h"

#include <cstdint>
#include <memory>
#include <string>

class SipCall;
class SipMessage;
class SipUserAgent;

// One transfer this user agent carries out for a peer (RFC 3515, RFC 5589 transferee
// role): the call the REFER arrived in (the original) has given its line to a new
// call to the Refer-To URI (the target call), and the referrer hears the target
// call's progress in NOTIFYs of the REFER's implicit subscription, resent until
// answered.
class CallTransferee : public RetransmitTable {
public:
    CallTransferee(SipUserAgent& agent, std::unique_ptr<SipCall> original, int lineNo, const std::string& referCseq);
    ~CallTransferee() override;
    CallTransferee(const CallTransferee&) = delete;
    CallTransferee& operator=(const CallTransferee&) = delete;

    int LineNo() const { return lineNo_; }
    // The original call until the transfer ends; null after TakeOriginal.
    SipCall* Original() { return original_.get(); }
    std::unique_ptr<SipCall> TakeOriginal();
    std::uint64_t TargetSerial() const { return targetSerial_; }
    void SetTarget(std::uint64_t serial, const std::string& callId);
    const std::string& TargetCallId() const { return targetCallId_; }
    bool Ended() const { return ended_; }
    // The Call-ID of the original call's dialog, which the NOTIFYs belong to.
    const std::string& CallId() const { return callId_; }

    // Tells the referrer the target call's status as a sipfrag status line
    // ("SIP/2.0 100 Trying"); the final one ends the subscription.
    void Notify(const std::string& statusLine, bool final);
    // The target call's last final failure, reported when it fails.
    void NoteTargetFailure(int status, const std::string& reason);
    const std::string& TargetFailure() const { return targetFailure_; }
    // An answer to one of the NOTIFYs: it is not sent again.
    void OnNotifyResponse(const SipMessage& response);
    // The transfer is over and every NOTIFY answered (or given up).
    bool Finished() const { return ended_ && original_ == nullptr && !AnyArmed(); }

protected:
    void SendEntry(const std::string& text, const std::string& host, int port) override;
    void OnSlotTimeout(int, const std::string&, const std::string&, int) override {}
    void OnArmed() override;

private:
    SipUserAgent& agent_;
    std::unique_ptr<SipCall> original_;
    // The NOTIFYs take the original call's transport, also once it is gone.
    const SipTransportKind transport_;
    const int lineNo_;
    const std::string event_;
    const std::string callId_;
    std::uint64_t targetSerial_ = 0;
    std::string targetCallId_;
    std::string targetFailure_ = "SIP/2.0 408 Request Timeout";
    bool ended_ = false;
};
