#include "softphone/SipAddressText.h"

#include <gtest/gtest.h>

TEST(SipAddressText, DisplayNamesBecomeQuotedStrings)
{
    EXPECT_EQ(SipAddressText::QuotedDisplayName("Jos\xC3\xA9"), "\"Jos\xC3\xA9\"");
    EXPECT_EQ(SipAddressText::QuotedDisplayName("Agent \"One\""), "\"Agent \\\"One\\\"\"");
    EXPECT_EQ(SipAddressText::QuotedDisplayName("back\\slash"), "\"back\\\\slash\"");
    EXPECT_EQ(SipAddressText::QuotedDisplayName(std::string("a\0b\r\n\x7F\tc", 8)), "\"abc\"");
    EXPECT_EQ(SipAddressText::QuotedDisplayName(""), "\"\"");
}

TEST(SipAddressText, DialledTextIsAUriOrAnEscapedUserPart)
{
    const auto dial = [](const char* text) { return SipAddressText::DialUri(text, "10.0.0.5:5062"); };
    EXPECT_EQ(dial("2001"), "sip:2001@10.0.0.5:5062");
    EXPECT_EQ(dial("alice"), "sip:alice@10.0.0.5:5062");
    EXPECT_EQ(dial("a b#"), "sip:a%20b%23@10.0.0.5:5062");
    EXPECT_EQ(dial("*21%"), "sip:*21%25@10.0.0.5:5062");
    EXPECT_EQ(dial("Jos\xC3\xA9"), "sip:Jos%C3%A9@10.0.0.5:5062");
    EXPECT_EQ(dial(""), "sip:@10.0.0.5:5062") << "an empty transfer target is used as it is";
    EXPECT_EQ(dial("2001@198.51.100.9"), "sip:2001@198.51.100.9");
    EXPECT_EQ(dial("2001@127.0.0.1:5070"), "sip:2001@127.0.0.1:5070");
    EXPECT_EQ(dial("sip:x"), "sip:x");
    EXPECT_EQ(dial("SIPS:bob@example.com;transport=tls?subject=hi%20there&priority=urgent"),
              "SIPS:bob@example.com;transport=tls?subject=hi%20there&priority=urgent");
    EXPECT_EQ(dial("sip:bob:pw@[2001:db8::1]:5060;lr"), "sip:bob:pw@[2001:db8::1]:5060;lr");
    EXPECT_EQ(dial("sip:+1-555;phone-context=x@gw.example.com."), "sip:+1-555;phone-context=x@gw.example.com.");
    for (const char* refused : {"sip:", "sips:", "sip:@host", "sip:a b@host", "a b@host", "sip:2001@", "@",
                                "sip:x@host:", "sip:x@host:123456", "sip:x@-host", "sip:x@host..com", "sip:x@1host",
                                "sip:x@256.1.1.1", "sip:x@host;", "sip:x@host?novalue", "sip:x%2@host",
                                "sip:x@[zz::1]", "sip:x@host>", "2001@198.51.100.9@proxy"})
        EXPECT_EQ(dial(refused), std::nullopt) << refused;

    // A proxy written as a URI gives its scheme, never a second one.
    EXPECT_EQ(SipAddressText::DialUri("2001", "sips:pbx.example.com"), "sips:2001@pbx.example.com");
    EXPECT_EQ(SipAddressText::DialUri("2001", "SIP:pbx.example.com:5070"), "sip:2001@pbx.example.com:5070");
    EXPECT_EQ(SipAddressText::DialUri("2001", "pbx.example.com;transport=tls"), "sip:2001@pbx.example.com;transport=tls");
    EXPECT_EQ(SipAddressText::UserUri("1001", "sips:pbx.example.com"), "sips:1001@pbx.example.com");
}
