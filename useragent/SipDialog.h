#pragma once

#include "sipsyntax/SipUri.h"

#include <string>
#include <vector>

class SipMessage;

// A message ready to send and where it goes: the port is 0 when the address gives
// none, and the transport the one the address names, if any.
struct OutgoingMessage {
    std::string text;
    std::string host;
    int port = 5060;
    SipTransportKind transport = SipTransportKind::Unspecified;
};

// The dialog state of one call and the builders of every request and response the
// call sends. A builder fails (false, nothing to send) rather than produce a partial
// message.
class SipDialog {
public:
    static constexpr const char* ResetCallId = "$$$RESET$$$";
    static constexpr const char* UserAgentName = "VIROZIRozeDeder/3.0";
    // Every request carries it (RFC 3261 8.1.1): strict peers refuse one without.
    static constexpr const char* MaxForwards = "70";

    SipDialog(std::string listenIp, int listenPort, std::string proxy, std::string loginId,
              std::string localIdentity);

    void Reset();

    // The transport the first hop of an INVITE to `dialledUri` names (its maddr, the
    // proxy, or the address itself), as BuildInvite will send it.
    SipTransportKind FirstHopTransport(const std::string& dialledUri) const;
    bool BuildInvite(const std::string& sdp, const std::string& authorization, const std::string& proxyAuthorization,
                     const std::string& dialledUri, OutgoingMessage& out, std::string& branch,
                     std::string& normalisedTo);
    bool BuildReInvite(const std::string& sdp, const std::string& authorization,
                       const std::string& proxyAuthorization, OutgoingMessage& out);
    bool AcceptInvite(const std::string& inviteText);
    bool UpdateFrom2xx(const std::string& responseText);
    // The peer's Contact becomes the request URI of later requests (its URI parameters
    // kept) and, unless a route set says otherwise, where they go.
    void UpdateRemoteTarget(const std::string& contact);
    bool BuildAck(const std::string& responseText, const std::string& inviteBranch, OutgoingMessage& out);
    bool BuildCancel(const std::string& inviteBranch, OutgoingMessage& out);
    bool BuildBye(const std::string& authorization, const std::string& proxyAuthorization, OutgoingMessage& out);
    bool BuildRefer(const std::string& referTarget, const std::string& replaces, const std::string& authorization,
                    const std::string& proxyAuthorization, OutgoingMessage& out);
    bool BuildInfo(int signal, int duration, OutgoingMessage& out, std::string& cseqNumber);
    // A NOTIFY of an implicit REFER subscription (RFC 3515): `event` names it, the body is
    // the message/sipfrag status line.
    bool BuildNotify(const std::string& event, const std::string& subscriptionState, const std::string& statusLine,
                     OutgoingMessage& out, std::string& cseqNumber);
    bool BuildResponse(const std::string& requestText, int status, const std::string& reason,
                       const std::string& sdp, OutgoingMessage& out);
    bool BuildContact(SipMessage& message) const;

    bool isClient = true;
    int cseq = 1;
    std::string remoteTarget;
    std::string callId = ResetCallId;
    int state = 0;
    std::string localTagParam;
    std::string remoteParty;
    std::string localParty;
    std::string localIdentity;
    int inviteCseq = 0;
    std::vector<std::string> routeSetForResponses;
    std::vector<std::string> routeSet;
    std::string listenIp;
    int listenPort;
    // Where peers reach this side (Contact): the listen address, or the public one a
    // registrar saw behind a NAT.
    std::string contactIp;
    int contactPort;
    std::string target;
    std::string proxy;
    std::string loginId;
    // Set on a call placed for a transfer: the INVITE carries them (RFC 3892, RFC 3891).
    std::string referredBy;
    std::string replaces;

private:
    bool StartInDialogRequest(SipMessage& message, const char* method, OutgoingMessage& out) const;
    bool AddCredentials(SipMessage& message, const std::string& authorization,
                        const std::string& proxyAuthorization) const;
    bool AddVia(SipMessage& message, const std::string& branch) const;
    // From, To, User-Agent, credentials when given, and Call-ID of an in-dialog request.
    void AddPartiesAndCallId(SipMessage& message, const std::string& authorization,
                             const std::string& proxyAuthorization) const;
    static bool Finish(const SipMessage& message, OutgoingMessage& out);
};
