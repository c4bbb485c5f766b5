#include "useragent/RegistrationClient.h"

#include "platform/Clock.h"
#include "platform/MessageWindow.h"
#include "platform/UdpSocket.h"
#include "sipsyntax/DigestAuth.h"
#include "sipsyntax/SipIdentifiers.h"
#include "sipsyntax/SipMessage.h"
#include "sipsyntax/SipUri.h"
#include "useragent/SipDialog.h"
#include "useragent/SipUserAgent.h"

#include <algorithm>
#include <limits>

namespace {

constexpr int ResendMs = 3000;
constexpr int RecoveryResendMs = 1000;
constexpr int AttemptTimeoutMs = 15000;
constexpr int DefaultRefreshSeconds = 20;
constexpr int UnregisterPollMs = 50;
constexpr int UnregisterWaitMs = 4000;
// The longest refresh interval a timer can hold, in seconds (about 24 days).
constexpr long MaxRefreshSeconds = 2'000'000;

} // namespace

bool RegistrationClient::Configure(const std::string& listenIp, int listenPort, const std::string& fromIdentity,
                                   const std::string&, const std::string& proxy)
{
    listenIp_ = listenIp;
    listenPort_ = listenPort;
    contactIp_ = listenIp;
    contactPort_ = listenPort;
    staleContactIp_.clear();
    contactCorrected_ = false;
    behindNat_ = false;
    hostKeepAliveSeconds_ = 0;
    keepAliveSeconds_ = 0;
    fromIdentity_ = fromIdentity;
    registered_ = false;
    registering_ = false;
    recovering_ = false;
    SipAddress registrar;
    bool split = SipUri::SplitUri(proxy, registrar) && !registrar.host.empty();
    registrar_ = split ? SipDestination{registrar.transport, registrar.host, registrar.portGiven ? registrar.port : 0}
                       : SipDestination{};
    return split;
}

void RegistrationClient::Send(const std::string& text)
{
    agent_.Send(text, registrar_, {SipTransport::Owner::Kind::Registration});
}

void RegistrationClient::SendRegister(const std::string& text)
{
    lastRequest_ = text;
    sentCseq_ = cseq_ - 1;
    Send(text);
}

// Answers to anything but the REGISTER sent last (another Call-ID, an older CSeq) are
// stray: a forged or late datagram must not stop or confuse the registration.
bool RegistrationClient::IsAnswerToLastRegister(const SipMessage& response) const
{
    std::string number;
    std::string method;
    return SipMessage::SplitCSeq(response.GetCSeq(), number, method) && std::atoi(number.c_str()) == sentCseq_ &&
           response.GetCallId() == callId_;
}

void RegistrationClient::StopRegistrationTimers()
{
    if (MessageWindow* window = agent_.Window()) {
        window->KillTimer(SipUserAgent::RegistrationTimeoutTimer);
        window->KillTimer(SipUserAgent::RegistrationResendTimer);
        window->KillTimer(SipUserAgent::RegistrationRefreshTimer);
        window->KillTimer(SipUserAgent::ConnectionKeepAliveTimer);
    }
}

void RegistrationClient::StartAttemptTimers()
{
    // The time-out is set first so that, when both fall due together at 15 s, the
    // attempt ends without one more resend.
    if (MessageWindow* window = agent_.Window()) {
        window->SetTimer(SipUserAgent::RegistrationTimeoutTimer, AttemptTimeoutMs);
        window->SetTimer(SipUserAgent::RegistrationResendTimer, ResendMs);
    }
}

bool RegistrationClient::BuildRegister(int expires, bool refresh, const std::string& authorization,
                                       const std::string& proxyAuthorization, std::string& text)
{
    SipAddress identity;
    if (!SipUri::SplitUri(fromIdentity_, identity) || identity.host.empty())
        return false;
    SipMessage message;
    if (!message.Init() || !message.SetMethod("REGISTER"))
        return false;
    message.SetUserAgent(SipDialog::UserAgentName);
    message.SetFrom(fromIdentity_ + ";tag=" + SipIdentifiers::NewTag());
    message.SetTo(fromIdentity_);
    message.SetRequestUri(identity.host);
    // The display name arrives with its quotes; they are written once, here.
    std::string shownName = identity.displayName.empty() ? identity.user : DigestAuth::WithoutQuotes(identity.displayName);
    message.SetContact("\"" + shownName + "\" " + SipIdentifiers::ContactValue(identity.user, contactIp_, contactPort_));
    if (!staleContactIp_.empty())
        message.SetContact(SipIdentifiers::ContactValue(identity.user, staleContactIp_, staleContactPort_) +
                           ";expires=0");
    bool credentials = !authorization.empty() || !proxyAuthorization.empty();
    if (!credentials && expires != 0 && !refresh)
        callId_ = SipIdentifiers::NewCallId() + "@" + identity.host;
    message.SetCallId(callId_);
    if (!proxyAuthorization.empty())
        message.SetProxyAuthorization(proxyAuthorization);
    else if (!authorization.empty())
        message.SetAuthorization(authorization);
    message.SetExpires(expires);
    message.SetCSeq(std::to_string(cseq_++) + " REGISTER");
    message.AddVia("2.0", "UDP", listenIp_, listenPort_, SipIdentifiers::NewBranch());
    message.SetMaxForwards("70");
    text = message.ToText();
    return !text.empty();
}

bool RegistrationClient::Register(int expires, const std::string& loginId, const std::string& loginPassword)
{
    expires_ = expires;
    loginId_ = loginId;
    loginPassword_ = loginPassword;
    std::string text;
    // A negative expiry is no registration a registrar can grant.
    if (registrar_.host.empty() || expires < 0 || !BuildRegister(expires, false, {}, {}, text)) {
        lastError_ = 26;
        return false;
    }
    StopRegistrationTimers();
    StartAttemptTimers();
    SendRegister(text);
    registering_ = true;
    firstRegistration_ = true;
    contactCorrected_ = false;
    recovering_ = false;
    trying100Seen_ = false;
    challengeAnswers_ = 0;
    return true;
}

void RegistrationClient::Refresh()
{
    StopRegistrationTimers();
    std::string text;
    if (!BuildRegister(expires_, true, {}, {}, text))
        return;
    SendRegister(text);
    StartAttemptTimers();
    registering_ = true;
    firstRegistration_ = false;
    contactCorrected_ = false;
    trying100Seen_ = false;
    challengeAnswers_ = 0;
}

void RegistrationClient::Fail()
{
    recovering_ = false;
    StopRegistrationTimers();
    registered_ = false;
    registering_ = false;
    nonceCount_ = 0;
    agent_.PostEvent(firstRegistration_ ? EventType::FailToRegister : EventType::FailToReRegister);
}

void RegistrationClient::OnTimer(unsigned timerId)
{
    switch (timerId) {
    case SipUserAgent::RegistrationTimeoutTimer:
        if (!RetryAtNextServer())
            Fail();
        break;
    case SipUserAgent::RegistrationResendTimer:
        Send(lastRequest_);
        break;
    case SipUserAgent::RegistrationRefreshTimer:
        Refresh();
        break;
    case SipUserAgent::KeepAliveTimer:
    case SipUserAgent::ConnectionKeepAliveTimer:
        if (registered_)
            agent_.SendKeepAlive(registrar_);
        break;
    default:
        break;
    }
}

void RegistrationClient::OnSuccess(const SipMessage& response)
{
    nonceCount_ = 0;
    challengeAnswers_ = 0;
    if (!registering_) {
        awaitingUnregister_ = false;
        registered_ = false;
        return;
    }
    if (CorrectContact(response))
        return;
    staleContactIp_.clear();
    lastRequest_.clear();
    registered_ = true;
    recovering_ = false;
    StartConnectionKeepAlive();
    UpdateKeepAliveTimer();
    agent_.PostEvent(firstRegistration_ ? EventType::SuccessToRegister : EventType::SuccessToReRegister);
    long interval = response.GetExpires();
    if (interval <= 0)
        interval = response.GetContactExpires();
    if (interval <= 0)
        interval = DefaultRefreshSeconds;
    long refreshSeconds = std::clamp(interval - 3, 1L, MaxRefreshSeconds);
    if (MessageWindow* window = agent_.Window())
        window->SetTimer(SipUserAgent::RegistrationRefreshTimer, static_cast<int>(refreshSeconds * 1000));
}

bool RegistrationClient::CorrectContact(const SipMessage& response)
{
    // Over a connection the registrar reaches this side through it; the port it saw
    // the REGISTER from is the connection's, never one to put in a Contact.
    if (agent_.Transport().RegistrationUsesConnection())
        return false;
    const std::vector<std::string> vias = response.GetVias();
    ViaParts seen;
    UdpSocket::Endpoint dotted;
    if (vias.empty() || !SipMessage::SplitVia(vias.front(), seen) ||
        !UdpSocket::ParseEndpoint(seen.host, seen.port, dotted))
        return false;
    behindNat_ = seen.host != listenIp_ || seen.port != listenPort_;
    if (contactCorrected_ || (seen.host == contactIp_ && seen.port == contactPort_))
        return false;
    std::string text;
    staleContactIp_ = contactIp_;
    staleContactPort_ = contactPort_;
    contactIp_ = seen.host;
    contactPort_ = seen.port;
    contactCorrected_ = true;
    agent_.SetPublicContact(behindNat_ ? contactIp_ : std::string(), contactPort_);
    if (!BuildRegister(expires_, true, {}, {}, text))
        return false;
    StartAttemptTimers();
    SendRegister(text);
    return true;
}

int RegistrationClient::KeepAlivePeriodSeconds(int hostSeconds, bool behindNat)
{
    if (!behindNat)
        return hostSeconds;
    return hostSeconds > 0 ? std::min(hostSeconds, NatKeepAliveSeconds) : NatKeepAliveSeconds;
}

// One timer: one keep-alive per period, whoever asked for it.
void RegistrationClient::UpdateKeepAliveTimer()
{
    const int seconds = KeepAlivePeriodSeconds(hostKeepAliveSeconds_, behindNat_);
    MessageWindow* window = agent_.Window();
    if (seconds == keepAliveSeconds_ || window == nullptr)
        return;
    keepAliveSeconds_ = seconds;
    if (seconds > 0)
        window->SetTimer(SipUserAgent::KeepAliveTimer, seconds * 1000);
    else
        window->KillTimer(SipUserAgent::KeepAliveTimer);
}

void RegistrationClient::OnProvisional()
{
    if (registering_ && !trying100Seen_) {
        trying100Seen_ = true;
        agent_.PostEvent(firstRegistration_ ? EventType::TryingToRegister : EventType::TryingToReRegister);
    } else if (!registering_ && !unregisterTrying_) {
        unregisterTrying_ = true;
        agent_.PostEvent(EventType::TryingToUnRegister);
    }
}

void RegistrationClient::AnswerChallenge(const SipMessage& response, bool fromProxy)
{
    DigestChallenge challenge;
    bool found = fromProxy ? response.GetProxyChallenge(challenge) : response.GetWwwChallenge(challenge);
    if (!found)
        return;
    if (challengeAnswers_ >= MaxChallengeAnswers) {
        Fail();
        return;
    }
    SipAddress identity;
    SipUri::SplitUri(fromIdentity_, identity);
    std::string credentials = DigestAuth::Credentials(loginId_, loginPassword_, "REGISTER", "sip:" + identity.host,
                                                      challenge, nonceCount_);
    std::string text;
    if (credentials.empty())
        return;
    bool built = fromProxy ? BuildRegister(expires_, false, {}, credentials, text)
                           : BuildRegister(expires_, false, credentials, {}, text);
    if (!built)
        return;
    ++challengeAnswers_;
    // Resent and timed out like any REGISTER: one lost datagram must not end the
    // registration without a word. The un-REGISTER has its own wait.
    SendRegister(text);
    if (registering_)
        StartAttemptTimers();
}

void RegistrationClient::OnResponse(const SipMessage& response)
{
    if (!IsAnswerToLastRegister(response))
        return;
    StopRegistrationTimers();
    int status = response.GetStatusCode();
    if (response.Is2xx())
        OnSuccess(response);
    else if (response.IsTrying())
        OnProvisional();
    else if (status == 401 || status == 407)
        AnswerChallenge(response, status == 407);
    else if (status == 503 && RetryAtNextServer())
        return;
    else if (status >= 300)
        Fail();
}

bool RegistrationClient::RetryAtNextServer()
{
    std::string text;
    if (!registering_ || !agent_.MoveToNextServer(registrar_) || !BuildRegister(expires_, !firstRegistration_, {}, {}, text))
        return false;
    StopRegistrationTimers();
    StartAttemptTimers();
    SendRegister(text);
    trying100Seen_ = false;
    challengeAnswers_ = 0;
    nonceCount_ = 0;
    return true;
}

void RegistrationClient::StartConnectionKeepAlive()
{
    MessageWindow* window = agent_.Window();
    if (window != nullptr && agent_.Transport().RegistrationUsesConnection())
        window->SetTimer(SipUserAgent::ConnectionKeepAliveTimer, ConnectionKeepAliveSeconds * 1000);
}

void RegistrationClient::OnConnectionLost()
{
    if (!registered_ || awaitingUnregister_)
        return;
    recovering_ = true;
    Refresh();
}

bool RegistrationClient::Unregister()
{
    if (!registered_)
        return true;
    std::string text;
    if (!BuildRegister(0, false, {}, {}, text)) {
        lastError_ = 27;
        return false;
    }
    StopRegistrationTimers();
    expires_ = 0;
    registering_ = false;
    unregisterTrying_ = false;
    challengeAnswers_ = 0;
    SendRegister(text);
    awaitingUnregister_ = true;
    WaitForUnregisterAnswer();
    registered_ = false;
    agent_.PostEvent(awaitingUnregister_ ? EventType::FailToUnRegister : EventType::SuccessToUnRegister);
    awaitingUnregister_ = false;
    return true;
}

void RegistrationClient::WaitForUnregisterAnswer()
{
    for (int elapsed = 0; awaitingUnregister_ && elapsed < UnregisterWaitMs;) {
        Clock::Sleep(UnregisterPollMs);
        agent_.ProcessTransport();
        elapsed += UnregisterPollMs;
        if (awaitingUnregister_ && elapsed % 1000 == 0 && elapsed < UnregisterWaitMs)
            Send(lastRequest_);
    }
}

// A REGISTER that cannot leave fails the attempt at once instead of at its time-out.
void RegistrationClient::OnRegisterNotSent(const std::string& text)
{
    SipMessage sent;
    if (!registering_ || !sent.Parse(text) || !IsAnswerToLastRegister(sent))
        return;
    // While the registrar's connection is being made again, the REGISTER is tried
    // each second until the attempt times out.
    MessageWindow* window = agent_.Window();
    if (recovering_ && window != nullptr)
        window->SetTimer(SipUserAgent::RegistrationResendTimer, RecoveryResendMs);
    else
        Fail();
}

void RegistrationClient::StartKeepAlive(int seconds)
{
    // A period beyond what milliseconds in an int hold (24 days) is as good as that.
    constexpr int LongestSeconds = std::numeric_limits<int>::max() / 1000;
    hostKeepAliveSeconds_ = std::min(seconds, LongestSeconds);
    UpdateKeepAliveTimer();
}

void RegistrationClient::StopKeepAlive()
{
    hostKeepAliveSeconds_ = 0;
    UpdateKeepAliveTimer();
}
