#pragma once

#include "sipsyntax/DigestAuth.h"
#include "sipsyntax/SipUri.h"

#include <string>
#include <vector>

struct osip_message;

// The parts of one Via value.
struct ViaParts {
    std::string version;
    std::string transport;
    std::string host;
    int port = 5060;
    std::string branch;
};

// Counts of a message-summary "Voice-Message" line.
struct VoiceMessageCounts {
    long newCount = 0;
    long oldCount = 0;
    long newUrgent = 0;
    long oldUrgent = 0;
};

// One SIP request or response. Every value goes in and out as the text the parser
// library prints for it; getters return "" (or -1, or port 5060) for what is absent.
class SipMessage {
public:
    SipMessage() = default;
    ~SipMessage();
    SipMessage(const SipMessage&) = delete;
    SipMessage& operator=(const SipMessage&) = delete;
    SipMessage(SipMessage&& other) noexcept;
    SipMessage& operator=(SipMessage&& other) noexcept;

    bool Init();
    bool Parse(const std::string& text);
    std::string ToText() const;
    void Free();

    bool SetMethod(const std::string& method);
    std::string GetMethod() const;
    bool SetRequestUri(const std::string& uri);
    // Sets a URI as it is, parameters included; falls back to SetRequestUri when the
    // text does not parse as a URI.
    bool SetRequestUriWithParameters(const std::string& uri);
    std::string GetRequestUri() const;
    bool SetStatusCode(int code);
    int GetStatusCode() const;
    bool SetReasonPhrase(const std::string& reason);
    std::string GetReasonPhrase() const;

    bool IsRequest() const;
    bool IsInvite() const;
    bool IsOptions() const;
    bool IsNotify() const;
    bool IsCancel() const;
    bool IsBye() const;
    bool IsAck() const;
    bool IsInfo() const;
    bool IsRefer() const;
    bool IsResponseFor(const std::string& method) const;
    bool Is1xx() const;
    bool Is2xx() const;
    bool Is3xx() const;
    bool Is4xx() const;
    bool Is5xx() const;
    bool Is6xx() const;
    bool IsTrying() const;
    bool IsRinging() const;
    bool IsSessionProgress() const;

    bool SetCallId(const std::string& callId);
    std::string GetCallId() const;
    bool SetCSeq(const std::string& cseq);
    std::string GetCSeq() const;
    static bool SplitCSeq(const std::string& cseq, std::string& number, std::string& method);
    bool SetFrom(const std::string& from);
    std::string GetFrom() const;
    bool SetTo(const std::string& to);
    std::string GetTo() const;
    bool SetContact(const std::string& contact);
    std::string GetContact() const;
    long GetContactExpires() const;
    bool SetExpires(int seconds);
    long GetExpires() const;
    bool SetMaxForwards(const std::string& value);
    std::string GetMaxForwards() const;
    bool MaxForwardsNotZero() const;
    bool SetUserAgent(const std::string& value);
    bool SetAllow(const std::string& value);
    bool SetContentType(const std::string& value);
    // "type/subtype" in lower case, without parameters; empty without a Content-Type.
    std::string GetContentType() const;
    // Headers the parser library keeps by name only (Refer-To, Replaces, Event ...).
    bool SetHeader(const std::string& name, const std::string& value);
    std::vector<std::string> GetHeaders(const std::string& name) const;
    bool SetBody(const std::string& body);
    std::string GetBody() const;
    bool SetReferTo(const std::string& value);
    bool SetReferredBy(const std::string& value);
    bool SetAuthorization(const std::string& credentials);
    bool SetProxyAuthorization(const std::string& credentials);
    bool GetWwwChallenge(DigestChallenge& challenge) const;
    bool GetProxyChallenge(DigestChallenge& challenge) const;

    bool AddVia(const std::string& version, const std::string& transport, const std::string& host, int port,
                const std::string& branch);
    std::vector<std::string> GetVias() const;
    bool AddVias(const std::vector<std::string>& vias);
    // Host and port are where answers go: the received and rport values when present.
    static bool SplitVia(const std::string& via, ViaParts& parts);
    // A request whose top Via asks for rport learns the address and port it came from
    // (received, rport values), so that answers go back there; false when it did not ask.
    bool RecordSourceInTopVia(const std::string& ip, int port);
    // A request that came over a connection is answered over it: its top Via learns
    // the connection's far end whether it asked for rport or not.
    bool RecordConnectionInTopVia(const std::string& ip, int port);
    // The transport a message leaves by, in its top Via (requests only: a response
    // keeps the Vias it answers) and as the transport parameter of its Contact.
    bool StampTransport(SipTransportKind transport);
    std::vector<std::string> GetRecordRoutes() const;
    bool AddRecordRoutes(const std::vector<std::string>& routes);
    bool AddRoutes(const std::vector<std::string>& routes);
    std::vector<std::string> GetAcceptList() const;
    std::string GetAcceptEncoding() const;

    bool CheckMandatory(std::string& reason) const;
    bool IsMethodAllowed() const;
    bool CheckAccept(std::string& reason) const;

    std::string GetMessagesWaiting() const;
    std::string GetMessageAccount() const;
    bool GetVoiceMessageCounts(VoiceMessageCounts& counts) const;

    static const char* const SupportedMethods;

private:
    bool MethodStartsWith(const char* name) const;
    bool StatusIn(int low, int high) const;
    bool SetNamedHeader(const char* name, const std::string& value);
    std::string SummaryValue(const std::string& name) const;

    osip_message* message_ = nullptr;
    std::string raw_;
};
