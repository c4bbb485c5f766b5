#pragma once

#include <string>

class SipMessage;
class SipUserAgent;

// Registration of the account with the registrar.
class RegistrationClient {
public:
    explicit RegistrationClient(SipUserAgent& agent) : agent_(agent) {}

    void Configure(const std::string& listenIp, int listenPort, const std::string& fromIdentity,
                   const std::string& outboundProxy, const std::string& proxy);
    void OnResponse(const SipMessage& response);
    void OnTimer(unsigned timerId);
    // Un-registers when registered, waiting up to four seconds for the answer.
    bool Unregister();

private:
    SipUserAgent& agent_;
    std::string listenIp_;
    int listenPort_ = 0;
    std::string fromIdentity_;
    std::string outboundProxy_;
    std::string proxy_;
};
