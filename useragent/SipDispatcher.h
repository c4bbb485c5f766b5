#pragma once

#include <string>

class SipMessage;
class SipUserAgent;

// Where each received message goes: a request to the call it belongs to, or answered
// here when it belongs to none (OPTIONS, NOTIFY, a stray BYE or CANCEL, a new INVITE
// that becomes a pending call, INFO digits, a REFER); a response to the registration,
// the call or the transfer whose request it answers.
class SipDispatcher {
public:
    explicit SipDispatcher(SipUserAgent& agent) : agent_(agent) {}

    // `text` is the request as it is handled (its top Via may carry the source);
    // `receivedText` as it arrived.
    void OnRequest(const SipMessage& request, const std::string& text, const std::string& receivedText);
    void OnResponse(const SipMessage& response, const std::string& text);

private:
    void OnNotifyRequest(const SipMessage& request, const std::string& text, const std::string& receivedText);
    void OnInviteRequest(const SipMessage& request, const std::string& text);
    void OnAckRequest(const SipMessage& request);
    void OnCancelRequest(const SipMessage& request, const std::string& text);
    void OnByeRequest(const SipMessage& request, const std::string& text);
    void OnInfoRequest(const SipMessage& request, const std::string& text);
    void OnReferRequest(const SipMessage& request, const std::string& text);

    SipUserAgent& agent_;
};
