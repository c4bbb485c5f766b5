#include "useragent/RegistrationClient.h"

void RegistrationClient::Configure(const std::string& listenIp, int listenPort, const std::string& fromIdentity,
                                   const std::string& outboundProxy, const std::string& proxy)
{
    listenIp_ = listenIp;
    listenPort_ = listenPort;
    fromIdentity_ = fromIdentity;
    outboundProxy_ = outboundProxy;
    proxy_ = proxy;
}

void RegistrationClient::OnResponse(const SipMessage&)
{
}

void RegistrationClient::OnTimer(unsigned)
{
}

bool RegistrationClient::Unregister()
{
    return true;
}
