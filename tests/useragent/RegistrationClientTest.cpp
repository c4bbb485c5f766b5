#include "useragent/RegistrationClient.h"

#include <gtest/gtest.h>

TEST(RegistrationClient, BehindANatTheKeepAliveComesEvery25SecondsOrAtTheHostsShorterPeriod)
{
    EXPECT_EQ(RegistrationClient::KeepAlivePeriodSeconds(0, false), 0) << "no keep-alive on a plain LAN";
    EXPECT_EQ(RegistrationClient::KeepAlivePeriodSeconds(60, false), 60);
    EXPECT_EQ(RegistrationClient::KeepAlivePeriodSeconds(0, true), RegistrationClient::NatKeepAliveSeconds);
    EXPECT_EQ(RegistrationClient::KeepAlivePeriodSeconds(10, true), 10);
    EXPECT_EQ(RegistrationClient::KeepAlivePeriodSeconds(60, true), RegistrationClient::NatKeepAliveSeconds);
    EXPECT_EQ(RegistrationClient::NatKeepAliveSeconds, 25);
}
