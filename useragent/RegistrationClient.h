#pragma once

#include "useragent/SipDestination.h"

#include <string>

class SipMessage;
class SipUserAgent;

// Registration of the account with the registrar: first registration, refreshes,
// digest retries, un-registration and keep-alive. Driven by the engine's timers
// 2000-2003 and 2005 and by every response whose CSeq method is REGISTER.
//
// Over a connection (TCP, TLS) the registration pings it every
// ConnectionKeepAliveSeconds while registered (RFC 5626 4.4.1), and registers again at
// once when it breaks, trying each second until the attempt's time-out.
class RegistrationClient {
public:
    // Challenges answered in a row for one attempt before it counts as refused: a
    // registrar that keeps challenging (a wrong password) must not get a REGISTER
    // storm.
    static constexpr int MaxChallengeAnswers = 3;
    static constexpr int ConnectionKeepAliveSeconds = 30;

    explicit RegistrationClient(SipUserAgent& agent) : agent_(agent) {}

    bool Configure(const std::string& listenIp, int listenPort, const std::string& fromIdentity,
                   const std::string& outboundProxy, const std::string& proxy);
    bool Register(int expires, const std::string& loginId, const std::string& loginPassword);
    // Un-registers when registered, waiting up to four seconds for the answer while
    // processing whatever arrives meanwhile.
    bool Unregister();
    void OnTimer(unsigned timerId);
    void OnResponse(const SipMessage& response);
    void OnRegisterNotSent(const std::string& text);
    // The connection the registration used broke.
    void OnConnectionLost();
    void StartKeepAlive(int seconds);
    void StopKeepAlive();
    int LastError() const { return lastError_; }
    bool IsRegistered() const { return registered_; }

private:
    bool BuildRegister(int expires, bool refresh, const std::string& authorization,
                       const std::string& proxyAuthorization, std::string& text);
    void Send(const std::string& text);
    void StopRegistrationTimers();
    void StartAttemptTimers();
    void Refresh();
    void OnSuccess(const SipMessage& response);
    void OnProvisional();
    void AnswerChallenge(const SipMessage& response, bool fromProxy);
    void Fail();
    void WaitForUnregisterAnswer();
    // The registrar failed (503, no answer): the attempt goes on at the next server of
    // its domain when there is one.
    bool RetryAtNextServer();
    void StartConnectionKeepAlive();
    // Sends a REGISTER and remembers it as the one answers must match.
    void SendRegister(const std::string& text);
    bool IsAnswerToLastRegister(const SipMessage& response) const;

    SipUserAgent& agent_;
    int lastError_ = 0;
    bool registering_ = false;
    bool registered_ = false;
    bool trying100Seen_ = false;
    bool unregisterTrying_ = false;
    bool awaitingUnregister_ = false;
    bool firstRegistration_ = true;
    // Registering again after the registration's connection broke.
    bool recovering_ = false;
    int challengeAnswers_ = 0;
    std::string lastRequest_;
    std::string fromIdentity_;
    std::string listenIp_;
    int listenPort_ = 0;
    int cseq_ = 1;
    int sentCseq_ = -1;
    std::string loginId_;
    std::string loginPassword_;
    SipDestination registrar_;
    std::string callId_;
    int expires_ = 0;
    int nonceCount_ = 0;
};
