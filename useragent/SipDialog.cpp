#include "useragent/SipDialog.h"

#include "sipsyntax/SipIdentifiers.h"
#include "sipsyntax/SipMessage.h"
#include "sipsyntax/SipUri.h"

#include <algorithm>

namespace {

bool HasTag(const std::string& nameAddr)
{
    return SipUri::ToLower(nameAddr).find(";tag=") != std::string::npos;
}

bool SplitDestination(const std::string& address, OutgoingMessage& out)
{
    SipAddress split;
    if (!SipUri::SplitUri(address, split) || split.host.empty())
        return false;
    out.host = split.host;
    out.port = split.portGiven ? split.port : 0;
    out.transport = split.transport;
    return true;
}

std::string CSeqText(int number, const char* method)
{
    return std::to_string(number) + " " + method;
}

} // namespace

SipDialog::SipDialog(std::string listenIp, int listenPort, std::string proxy, std::string loginId,
                     std::string localIdentity)
    : localIdentity(std::move(localIdentity)),
      listenIp(std::move(listenIp)),
      listenPort(listenPort),
      contactIp(this->listenIp),
      contactPort(listenPort),
      proxy(std::move(proxy)),
      loginId(std::move(loginId))
{
}

void SipDialog::Reset()
{
    callId = ResetCallId;
    state = 0;
}

bool SipDialog::BuildContact(SipMessage& message) const
{
    return SipIdentifiers::BuildContact(message, localIdentity, contactIp, contactPort);
}

bool SipDialog::AddVia(SipMessage& message, const std::string& branch) const
{
    return message.AddVia("2.0", "UDP", listenIp, listenPort, branch);
}

bool SipDialog::AddCredentials(SipMessage& message, const std::string& authorization,
                               const std::string& proxyAuthorization) const
{
    if (!proxyAuthorization.empty())
        return message.SetProxyAuthorization(proxyAuthorization);
    if (!authorization.empty())
        return message.SetAuthorization(authorization);
    return true;
}

bool SipDialog::Finish(const SipMessage& message, OutgoingMessage& out)
{
    out.text = message.ToText();
    return !out.text.empty();
}

// Method, request URI, destination and Route headers of a request inside the dialog.
bool SipDialog::StartInDialogRequest(SipMessage& message, const char* method, OutgoingMessage& out) const
{
    if (!message.Init() || !message.SetMethod(method))
        return false;
    message.SetRequestUriWithParameters(remoteTarget);
    message.SetMaxForwards(MaxForwards);
    if (routeSet.empty())
        return SplitDestination(target, out);
    return SplitDestination(routeSet.front(), out) && message.AddRoutes(routeSet);
}

SipTransportKind SipDialog::FirstHopTransport(const std::string& dialledUri) const
{
    std::string firstHop;
    SipUri::FormatTarget(dialledUri, proxy.empty() ? dialledUri : proxy, firstHop);
    OutgoingMessage out;
    SplitDestination(firstHop, out);
    return out.transport;
}

bool SipDialog::BuildInvite(const std::string& sdp, const std::string& authorization,
                            const std::string& proxyAuthorization, const std::string& dialledUri,
                            OutgoingMessage& out, std::string& branch, std::string& normalisedTo)
{
    isClient = true;
    SipMessage message;
    if (!message.Init() || !message.SetMethod("INVITE"))
        return false;
    message.SetUserAgent(UserAgentName);
    // Without a proxy the call goes straight to the host of the dialled address.
    normalisedTo = SipUri::FormatTarget(dialledUri, proxy.empty() ? dialledUri : proxy, target);
    if (!SplitDestination(target, out))
        return false;
    remoteTarget = normalisedTo;
    message.SetRequestUri(normalisedTo);
    if (!proxyAuthorization.empty() || !authorization.empty()) {
        AddCredentials(message, authorization, proxyAuthorization);
    } else {
        localParty = localIdentity + ";tag=" + SipIdentifiers::NewTag();
        callId = SipIdentifiers::NewCallId() + "@" + listenIp;
    }
    message.SetCallId(callId);
    remoteParty = normalisedTo;
    message.SetFrom(localParty);
    message.SetTo(normalisedTo);
    if (!BuildContact(message))
        return false;
    inviteCseq = cseq++;
    message.SetCSeq(CSeqText(inviteCseq, "INVITE"));
    message.SetMaxForwards(MaxForwards);
    branch = SipIdentifiers::NewBranch();
    AddVia(message, branch);
    if (!referredBy.empty())
        message.SetReferredBy(referredBy);
    if (!replaces.empty())
        message.SetHeader("Replaces", replaces);
    message.SetContentType("application/sdp");
    message.SetAllow(SipMessage::SupportedMethods);
    message.SetBody(sdp);
    return Finish(message, out);
}

bool SipDialog::BuildReInvite(const std::string& sdp, const std::string& authorization,
                              const std::string& proxyAuthorization, OutgoingMessage& out)
{
    SipMessage message;
    if (!StartInDialogRequest(message, "INVITE", out))
        return false;
    message.SetUserAgent(UserAgentName);
    AddCredentials(message, authorization, proxyAuthorization);
    message.SetCallId(callId);
    message.SetFrom(localParty);
    message.SetTo(remoteParty);
    if (!BuildContact(message))
        return false;
    message.SetCSeq(CSeqText(cseq++, "INVITE"));
    AddVia(message, SipIdentifiers::NewBranch());
    message.SetContentType("application/sdp");
    message.SetAllow(SipMessage::SupportedMethods);
    message.SetBody(sdp);
    return Finish(message, out);
}

bool SipDialog::AcceptInvite(const std::string& inviteText)
{
    SipMessage invite;
    if (!invite.Parse(inviteText))
        return false;
    std::string number;
    std::string method;
    if (!SipMessage::SplitCSeq(invite.GetCSeq(), number, method))
        return false;
    // A re-INVITE refreshes the remote target only: the route set and the parties are
    // fixed when the dialog is created.
    if (state == 6 && SipUri::ToLower(invite.GetCallId()) == SipUri::ToLower(callId)) {
        UpdateRemoteTarget(invite.GetContact());
        return true;
    }
    isClient = false;
    std::string to = invite.GetTo();
    if (!HasTag(to)) {
        if (SipUri::ToLower(invite.GetCallId()) != SipUri::ToLower(callId))
            localTagParam = ";tag=" + SipIdentifiers::NewTag();
        // A repeated INVITE keeps the tag this side chose for the dialog.
        to += localTagParam;
    }
    localParty = to;
    remoteParty = invite.GetFrom();
    callId = invite.GetCallId();
    inviteCseq = std::atoi(number.c_str());
    routeSetForResponses = invite.GetRecordRoutes();
    routeSet = routeSetForResponses;
    UpdateRemoteTarget(invite.GetContact());
    return true;
}

void SipDialog::UpdateRemoteTarget(const std::string& contact)
{
    if (contact.empty())
        return;
    std::string uri = SipUri::ContactUri(contact);
    if (uri.empty())
        return;
    remoteTarget = uri;
    SipUri::FormatTarget(contact, contact, target);
}

bool SipDialog::UpdateFrom2xx(const std::string& responseText)
{
    SipMessage response;
    if (!response.Parse(responseText))
        return false;
    remoteParty = response.GetTo();
    routeSet = response.GetRecordRoutes();
    std::reverse(routeSet.begin(), routeSet.end());
    routeSetForResponses = routeSet;
    UpdateRemoteTarget(response.GetContact());
    return true;
}

bool SipDialog::BuildAck(const std::string& responseText, const std::string& inviteBranch, OutgoingMessage& out)
{
    SipMessage response;
    std::string number;
    std::string method;
    if (!response.Parse(responseText) || !SipMessage::SplitCSeq(response.GetCSeq(), number, method))
        return false;
    SipMessage message;
    if (!StartInDialogRequest(message, "ACK", out))
        return false;
    message.SetTo(response.GetTo());
    message.SetFrom(localParty);
    message.SetCallId(callId);
    AddVia(message, response.Is2xx() ? SipIdentifiers::NewBranch() : inviteBranch);
    message.SetCSeq(number + " ACK");
    if (!BuildContact(message))
        return false;
    return Finish(message, out);
}

bool SipDialog::BuildCancel(const std::string& inviteBranch, OutgoingMessage& out)
{
    SipMessage message;
    if (!message.Init() || !message.SetMethod("CANCEL") || !SplitDestination(target, out))
        return false;
    message.SetRequestUri(remoteTarget);
    message.SetUserAgent(UserAgentName);
    message.SetCSeq(CSeqText(inviteCseq, "CANCEL"));
    message.SetMaxForwards(MaxForwards);
    message.SetFrom(localParty);
    message.SetTo(remoteParty);
    message.SetCallId(callId);
    AddVia(message, inviteBranch);
    return Finish(message, out);
}

void SipDialog::AddPartiesAndCallId(SipMessage& message, const std::string& authorization,
                                    const std::string& proxyAuthorization) const
{
    message.SetFrom(localParty);
    message.SetTo(remoteParty);
    message.SetUserAgent(UserAgentName);
    AddCredentials(message, authorization, proxyAuthorization);
    message.SetCallId(callId);
}

bool SipDialog::BuildBye(const std::string& authorization, const std::string& proxyAuthorization,
                         OutgoingMessage& out)
{
    SipMessage message;
    if (!StartInDialogRequest(message, "BYE", out))
        return false;
    AddPartiesAndCallId(message, authorization, proxyAuthorization);
    message.SetCSeq(CSeqText(cseq++, "BYE"));
    AddVia(message, SipIdentifiers::NewBranch());
    if (!BuildContact(message))
        return false;
    return Finish(message, out);
}

bool SipDialog::BuildRefer(const std::string& referTarget, const std::string& replaces,
                           const std::string& authorization, const std::string& proxyAuthorization,
                           OutgoingMessage& out)
{
    std::string targetText = referTarget;
    std::size_t close = targetText.rfind('>');
    if (close != std::string::npos)
        targetText.insert(close, ";method=INVITE");
    SipMessage message;
    if (!StartInDialogRequest(message, "REFER", out))
        return false;
    AddPartiesAndCallId(message, authorization, proxyAuthorization);
    message.SetCSeq(CSeqText(cseq++, "REFER"));
    if (replaces.empty()) {
        message.SetReferTo(targetText);
    } else {
        std::string escaped = SipUri::ReplaceAll(replaces, "@", "%40");
        escaped = SipUri::ReplaceAll(escaped, ";", "%3B");
        escaped = SipUri::ReplaceAll(escaped, "=", "%3D");
        message.SetReferTo("<" + targetText + "?Replaces=" + escaped + ">");
    }
    std::string referredBy = SipUri::ToLower(localParty);
    message.SetReferredBy(referredBy.substr(0, referredBy.find(";tag=")));
    AddVia(message, SipIdentifiers::NewBranch());
    if (!BuildContact(message))
        return false;
    return Finish(message, out);
}

bool SipDialog::BuildInfo(int signal, int duration, OutgoingMessage& out, std::string& cseqNumber)
{
    SipMessage message;
    if (!StartInDialogRequest(message, "INFO", out))
        return false;
    AddPartiesAndCallId(message, {}, {});
    cseqNumber = std::to_string(cseq);
    message.SetCSeq(CSeqText(cseq++, "INFO"));
    AddVia(message, SipIdentifiers::NewBranch());
    message.SetContentType("application/dtmf-relay");
    message.SetBody("Signal=" + std::to_string(signal) + "\n\rDuration=" + std::to_string(duration) + "\n\r");
    return Finish(message, out);
}

bool SipDialog::BuildNotify(const std::string& event, const std::string& subscriptionState,
                            const std::string& statusLine, OutgoingMessage& out, std::string& cseqNumber)
{
    SipMessage message;
    if (!StartInDialogRequest(message, "NOTIFY", out))
        return false;
    AddPartiesAndCallId(message, {}, {});
    cseqNumber = std::to_string(cseq);
    message.SetCSeq(CSeqText(cseq++, "NOTIFY"));
    AddVia(message, SipIdentifiers::NewBranch());
    if (!BuildContact(message))
        return false;
    message.SetHeader("Event", event);
    message.SetHeader("Subscription-State", subscriptionState);
    message.SetContentType("message/sipfrag;version=2.0");
    message.SetBody(statusLine + "\r\n");
    return Finish(message, out);
}

bool SipDialog::BuildResponse(const std::string& requestText, int status, const std::string& reason,
                              const std::string& sdp, OutgoingMessage& out)
{
    SipMessage request;
    if (!request.Parse(requestText))
        return false;
    std::vector<std::string> vias = request.GetVias();
    ViaParts topVia;
    if (vias.empty() || !SipMessage::SplitVia(vias.front(), topVia))
        return false;
    out.host = topVia.host;
    out.port = topVia.port;
    SipMessage message;
    if (!message.Init())
        return false;
    message.SetStatusCode(status);
    message.SetReasonPhrase(reason);
    message.SetCallId(request.GetCallId());
    std::string to = request.GetTo();
    if (status != 100 && !HasTag(to))
        to += localTagParam;
    message.SetTo(to);
    message.SetFrom(request.GetFrom());
    message.AddVias(vias);
    message.AddRecordRoutes(routeSetForResponses);
    message.SetUserAgent(UserAgentName);
    if (!BuildContact(message))
        return false;
    if (status == 487) {
        std::string number;
        std::string method;
        if (!SipMessage::SplitCSeq(request.GetCSeq(), number, method))
            return false;
        message.SetCSeq(number + " INVITE");
    } else {
        message.SetCSeq(request.GetCSeq());
    }
    if (status == 405)
        message.SetAllow(SipMessage::SupportedMethods);
    if (!sdp.empty()) {
        message.SetContentType("application/sdp");
        message.SetBody(sdp);
    }
    return Finish(message, out);
}
