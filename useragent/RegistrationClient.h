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
    // Behind a NAT a CRLF goes to the registrar this often while registered: UDP
    // bindings of home routers often last 30 s.
    static constexpr int NatKeepAliveSeconds = 25;

    // The keep-alive period in seconds (0: none): the host's own (EnableKeepAlive, 0
    // when off) and the NAT's, the shorter winning.
    static int KeepAlivePeriodSeconds(int hostSeconds, bool behindNat);

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
    // Whether the registrar saw the REGISTERs come from another address than the
    // listen address (its Via received and rport, RFC 3581).
    bool BehindNat() const { return behindNat_; }

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
    // A 2xx over UDP naming another address than the Contact registered: the Contact
    // becomes that address and is registered at once (the old one removed); true when
    // that REGISTER went, the success then waiting for its answer.
    bool CorrectContact(const SipMessage& response);
    void UpdateKeepAliveTimer();

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
    // The address the Contact of REGISTERs names, and a Contact registered before
    // that a correction removes (expires=0); empty ip when none.
    std::string contactIp_;
    int contactPort_ = 0;
    std::string staleContactIp_;
    int staleContactPort_ = 0;
    // One correction per attempt: a registrar reporting ever new addresses gets no
    // REGISTER storm.
    bool contactCorrected_ = false;
    bool behindNat_ = false;
    int hostKeepAliveSeconds_ = 0;
    int keepAliveSeconds_ = 0;
    int cseq_ = 1;
    int sentCseq_ = -1;
    std::string loginId_;
    std::string loginPassword_;
    SipDestination registrar_;
    std::string callId_;
    int expires_ = 0;
    int nonceCount_ = 0;
};
