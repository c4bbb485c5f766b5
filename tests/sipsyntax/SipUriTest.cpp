#include "sipsyntax/SipUri.h"

#include <gtest/gtest.h>

TEST(SipUri, BareNumberBecomesAHost)
{
    SipAddress a;
    ASSERT_TRUE(SipUri::SplitUri("1234", a));
    EXPECT_EQ(a.scheme, "sip");
    EXPECT_EQ(a.user, "");
    EXPECT_EQ(a.host, "1234");
    EXPECT_EQ(a.port, 5060);
}

TEST(SipUri, UserHostAndPort)
{
    SipAddress a;
    ASSERT_TRUE(SipUri::SplitUri("1234@10.0.0.7:5070", a));
    EXPECT_EQ(a.user, "1234");
    EXPECT_EQ(a.host, "10.0.0.7");
    EXPECT_EQ(a.port, 5070);
    ASSERT_TRUE(SipUri::SplitUri("sip:bob@example.com:0", a));
    EXPECT_EQ(a.port, 5060);
    ASSERT_TRUE(SipUri::SplitUri("sips:bob@example.com", a));
    EXPECT_EQ(a.scheme, "sips");
}

TEST(SipUri, DisplayNameKeepsItsQuotesAndIsWrittenBack)
{
    SipAddress a;
    ASSERT_TRUE(SipUri::SplitUri("\"Alice Smith\" <sip:alice@127.0.0.1:5080>", a));
    EXPECT_EQ(a.displayName, "\"Alice Smith\"");
    EXPECT_EQ(a.user, "alice");
    EXPECT_EQ(a.port, 5080);
    EXPECT_EQ(SipUri::BuildNameAddr(a.host, a.port, a.user, a.scheme, a.displayName),
              "\"Alice Smith\" <sip:alice@127.0.0.1:5080>");
    std::string firstHop;
    EXPECT_EQ(SipUri::FormatTarget("\"Alice Smith\" <sip:alice@127.0.0.1:5080>", "proxy", firstHop),
              "\"Alice Smith\" <sip:alice@127.0.0.1:5080>");
}

TEST(SipUri, FailedSplitLeavesResetOutputs)
{
    SipAddress a;
    a.host = "stale";
    a.port = 1;
    EXPECT_FALSE(SipUri::SplitUri("\"unterminated <sip:bob@127.0.0.1", a));
    EXPECT_EQ(a.host, "");
    EXPECT_EQ(a.port, 5060);
}

TEST(SipUri, BuildNameAddrAlwaysWritesAPort)
{
    EXPECT_EQ(SipUri::BuildNameAddr("127.0.0.1", 0, "bob", "sip", ""), "<sip:bob@127.0.0.1:5060>");
    EXPECT_EQ(SipUri::BuildNameAddr("127.0.0.1", 5070, "", "sip", ""), "<sip:127.0.0.1:5070>");
}

TEST(SipUri, EnsureSipSchemeLooksAtTheFirstFourCharacters)
{
    EXPECT_EQ(SipUri::EnsureSipScheme("SIP:bob@h"), "SIP:bob@h");
    EXPECT_EQ(SipUri::EnsureSipScheme("bob@h"), "sip:bob@h");
    EXPECT_EQ(SipUri::EnsureSipScheme("sips:bob@h"), "sip:sips:bob@h");
}

TEST(SipUri, RequestUriDropsDefaultPortParametersAndPassword)
{
    EXPECT_EQ(SipUri::NormaliseRequestUri("sip:bob@127.0.0.1:5060"), "sip:bob@127.0.0.1");
    EXPECT_EQ(SipUri::NormaliseRequestUri("sip:bob@127.0.0.1:5080;transport=udp"), "sip:bob@127.0.0.1:5080");
    EXPECT_EQ(SipUri::NormaliseRequestUri("\"Bob\" <sip:bob:secret@127.0.0.1?subject=x>"), "sip:bob@127.0.0.1");
    EXPECT_EQ(SipUri::NormaliseRequestUri("1234"), "sip:1234");
}

TEST(SipUri, RequestUriKeepsADoubledPrefix)
{
    EXPECT_EQ(SipUri::NormaliseRequestUri("sip:sip:bob@127.0.0.1"), "sip:sip:bob@127.0.0.1");
}

TEST(SipUri, MaddrIsFoundInAnyCaseAndEndsAtTheNextParameter)
{
    SipAddress a;
    ASSERT_TRUE(SipUri::SplitUriWithMaddr("sip:bob@127.0.0.1;MADDR=127.0.0.9;transport=udp", a));
    EXPECT_EQ(a.maddr, "127.0.0.9");
    EXPECT_EQ(a.user, "bob");
    std::string firstHop;
    EXPECT_EQ(SipUri::FormatTarget("sip:bob@127.0.0.1:5070;Maddr=127.0.0.9", "proxy", firstHop),
              "sip:bob@127.0.0.1:5070");
    EXPECT_EQ(firstHop, "127.0.0.9");
}

TEST(SipUri, FormatTargetKeepsSipsAndTheTransportIsRead)
{
    std::string firstHop;
    // A sips: address must be reached over TLS on every hop: it stays sips:.
    EXPECT_EQ(SipUri::FormatTarget("sips:bob@127.0.0.1", "127.0.0.2", firstHop), "sips:bob@127.0.0.1");
    SipAddress a;
    ASSERT_TRUE(SipUri::SplitUri("sips:bob@example.com", a));
    EXPECT_EQ(a.transport, SipTransportKind::Tls);
    EXPECT_FALSE(a.portGiven);
    ASSERT_TRUE(SipUri::SplitUri("127.0.0.1:5060;transport=TCP", a));
    EXPECT_EQ(a.transport, SipTransportKind::Tcp);
    EXPECT_TRUE(a.portGiven);
    ASSERT_TRUE(SipUri::SplitUri("<sip:pbx.example.com;transport=tls;lr>", a));
    EXPECT_EQ(a.transport, SipTransportKind::Tls);
    ASSERT_TRUE(SipUri::SplitUri("sip:pbx.example.com;transport=sctp", a));
    EXPECT_EQ(a.transport, SipTransportKind::Unspecified);
    EXPECT_EQ(SipUri::DefaultPortOf(SipTransportKind::Tls), 5061);
    EXPECT_EQ(SipUri::DefaultPortOf(SipTransportKind::Unspecified), 5060);
    EXPECT_EQ(firstHop, "127.0.0.2");
    EXPECT_EQ(SipUri::FormatTarget("1001", "127.0.0.2", firstHop), "sip:1001");
}

TEST(SipUri, ContactUriKeepsUriParametersAndDropsHeaderParameters)
{
    EXPECT_EQ(SipUri::ContactUri("<sip:a@127.0.0.1:5070;alias=127.0.0.1~5070~1;ob>;expires=60"),
              "sip:a@127.0.0.1:5070;alias=127.0.0.1~5070~1;ob");
    EXPECT_EQ(SipUri::ContactUri("\"Bob\" < sip:b@example.org >"), "sip:b@example.org");
    EXPECT_EQ(SipUri::ContactUri("sip:c@127.0.0.1;expires=30"), "sip:c@127.0.0.1");
    EXPECT_EQ(SipUri::ContactUri("<tel:+123>"), "");
    EXPECT_EQ(SipUri::ContactUri("<sip:unterminated"), "");
    EXPECT_EQ(SipUri::ContactUri(""), "");
}
