// The texts a peer's transfer and INFO digits arrive in: Refer-To, Replaces, the two
// DTMF bodies, and the packet time of an SDP.
#include "sipsyntax/DtmfInfoBody.h"
#include "sipsyntax/ReferTo.h"
#include "sipsyntax/ReplacesHeader.h"
#include "sipsyntax/SdpDescription.h"

#include <gtest/gtest.h>

#include <string>

TEST(DtmfInfoBody, BothBodiesEveryDigitAndNothingElse)
{
    const std::string relay = "application/dtmf-relay";
    EXPECT_EQ(DtmfInfoBody::Digit(relay, "Signal=1\r\nDuration=160\r\n"), "1");
    EXPECT_EQ(DtmfInfoBody::Digit(relay, "Duration=160\nSignal= # \n"), "#");
    EXPECT_EQ(DtmfInfoBody::Digit(relay, "Signal=11\n\rDuration=800\n\r"), "#") << "our own INFO reads back";
    EXPECT_EQ(DtmfInfoBody::Digit(relay, "signal=a"), "A");
    EXPECT_EQ(DtmfInfoBody::Digit(relay, "Signal=15"), "D");
    EXPECT_EQ(DtmfInfoBody::Digit("Application/DTMF-Relay; charset=x", "Signal=*"), "*");
    EXPECT_EQ(DtmfInfoBody::Digit("application/dtmf", "5\r\n"), "5");
    for (const char* broken : {"", "Signal=", "Signal=16", "Signal=E", "Signal=123", "Duration=1", "Signal"})
        EXPECT_EQ(DtmfInfoBody::Digit(relay, broken), "") << broken;
    EXPECT_EQ(DtmfInfoBody::Digit("application/json", "Signal=1"), "");
    EXPECT_TRUE(DtmfInfoBody::IsDtmfType("application/dtmf"));
    EXPECT_FALSE(DtmfInfoBody::IsDtmfType("application/dtmf-relayx"));
    EXPECT_EQ(DtmfInfoBody::Digit(relay, std::string(100000, 'x') + "\nSignal=3"), "3");
}

TEST(ReferTo, FollowsSipUrisAndRefusesTheRest)
{
    ReferTo target;
    ASSERT_EQ(ReferTo::Parse("<sip:3003@127.0.0.1:5070>", target), ReferTo::Verdict::Follow);
    EXPECT_EQ(target.Uri(), "sip:3003@127.0.0.1:5070");
    EXPECT_EQ(target.Replaces(), "");
    ASSERT_EQ(ReferTo::Parse("sip:3003@127.0.0.1", target), ReferTo::Verdict::Follow);
    EXPECT_EQ(target.Uri(), "sip:3003@127.0.0.1");
    ASSERT_EQ(ReferTo::Parse("\"Bob\" <sip:2002@h;method=INVITE?Replaces=abc%40h%3Bto-tag%3D1%3Bfrom-tag%3D2>;x=y",
                             target),
              ReferTo::Verdict::Follow);
    EXPECT_EQ(target.Uri(), "sip:2002@h;method=INVITE");
    EXPECT_EQ(target.Replaces(), "abc@h;to-tag=1;from-tag=2");

    for (const char* refused : {"<tel:+15551234>", "<sips:3003@h>", "<http://x/>", "<sip:3003@h;method=BYE>",
                                       "<sip:3003@h?Subject=hi>", "<sip:3003@h?Replaces=a%40b&Call-Info=x>"})
        EXPECT_EQ(ReferTo::Parse(refused, target), ReferTo::Verdict::Refused) << refused;
    for (const char* broken : {"", "<>", "nothing", "<sip:>", "<sip:3003@h?Replaces=%4>",
                                      "<sip:3003@h?Replaces=%ZZ>", "<sip:3003@h?Replaces=>",
                                      "<sip:3003@h?Replaces=a&Replaces=b>", "<sip:3003@h"})
        EXPECT_EQ(ReferTo::Parse(broken, target), ReferTo::Verdict::Malformed) << broken;
}

TEST(ReplacesHeader, NeedsTheCallIdAndBothTags)
{
    ReplacesHeader replaces;
    ASSERT_TRUE(ReplacesHeader::Parse("abc@h ; to-tag=7 ;from-tag=8;early-only", replaces));
    EXPECT_EQ(replaces.callId, "abc@h");
    EXPECT_EQ(replaces.toTag, "7");
    EXPECT_EQ(replaces.fromTag, "8");
    EXPECT_TRUE(replaces.earlyOnly);
    ASSERT_TRUE(ReplacesHeader::Parse("abc;From-Tag=8;TO-TAG=7;other=1", replaces));
    EXPECT_FALSE(replaces.earlyOnly);
    for (const char* broken : {"", ";to-tag=1;from-tag=2", "abc", "abc;to-tag=1", "abc;to-tag=;from-tag=2",
                                      "abc;to-tag=1;to-tag=3;from-tag=2"})
        EXPECT_FALSE(ReplacesHeader::Parse(broken, replaces)) << broken;
}

TEST(SdpDescription, PacketTimeOfTheAudioOrTheSession)
{
    const std::string head = "v=0\r\no=p 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n";
    const std::string media = "m=audio 4000 RTP/AVP 18\r\na=rtpmap:18 G729/8000\r\n";
    auto packetTime = [](const std::string& text) {
        SdpDescription sdp;
        return sdp.Parse(text) ? sdp.GetPacketTime() : -1;
    };
    EXPECT_EQ(packetTime(head + media), 0);
    EXPECT_EQ(packetTime(head + media + "a=ptime:20\r\n"), 20);
    EXPECT_EQ(packetTime(head + "a=ptime:30\r\n" + media), 30);
    EXPECT_EQ(packetTime(head + "a=ptime:30\r\n" + media + "a=ptime:40\r\n"), 40) << "the audio's own wins";
    for (const char* odd : {"a=ptime:0\r\n", "a=ptime:-20\r\n", "a=ptime:x\r\n", "a=ptime:99999999999\r\n"})
        EXPECT_EQ(packetTime(head + media + odd), 0) << odd;
}
