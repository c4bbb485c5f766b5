#include "sipsyntax/SdpDescription.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

SdpOfferParams FullOffer()
{
    SdpOfferParams p;
    p.ownerUserName = "1001";
    p.sessionName = "OrvSoft";
    p.direction = "sendrecv";
    p.connectionAddress = "127.0.0.1";
    p.originAddress = "127.0.0.1";
    p.mediaPort = 7000;
    p.payloads = {"3", "98", "8", "0", "18"};
    p.rtpMaps = {"GSM/8000", "iLBC/8000", "PCMA/8000", "PCMU/8000", "G729/8000"};
    return p;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
    return lines;
}

std::string PeerSdp(const std::string& media, const std::string& extra = {})
{
    return "v=0\r\no=- 1 1 IN IP4 127.0.0.5\r\ns=x\r\nc=IN IP4 127.0.0.5\r\nt=0 0\r\n" + media + "\r\n" + extra;
}

} // namespace

TEST(SdpDescription, FullOfferIsTheFifteenLines)
{
    SdpDescription sdp;
    ASSERT_TRUE(sdp.Init());
    std::string text;
    ASSERT_TRUE(sdp.BuildOffer(FullOffer(), text));
    std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 15u) << text;
    EXPECT_EQ(lines[0], "v=0");
    std::istringstream origin(lines[1]);
    std::string o, id, version, in, ip4, address;
    origin >> o >> id >> version >> in >> ip4 >> address;
    EXPECT_EQ(o, "o=1001");
    EXPECT_EQ(id, version);
    EXPECT_FALSE(id.empty());
    EXPECT_EQ(in + " " + ip4 + " " + address, "IN IP4 127.0.0.1");
    EXPECT_EQ(lines[2], "s=OrvSoft");
    EXPECT_EQ(lines[3], "c=IN IP4 127.0.0.1");
    EXPECT_EQ(lines[4], "t=0 0");
    EXPECT_EQ(lines[5], "m=audio 7000 RTP/AVP 3 98 8 0 18 101");
    EXPECT_EQ(lines[6], "a=rtpmap:3 GSM/8000");
    EXPECT_EQ(lines[7], "a=rtpmap:98 iLBC/8000");
    EXPECT_EQ(lines[8], "a=rtpmap:8 PCMA/8000");
    EXPECT_EQ(lines[9], "a=rtpmap:0 PCMU/8000");
    EXPECT_EQ(lines[10], "a=rtpmap:18 G729/8000");
    EXPECT_EQ(lines[11], "a=fmtp:18 annexb=no");
    EXPECT_EQ(lines[12], "a=rtpmap:101 telephone-event/8000");
    EXPECT_EQ(lines[13], "a=fmtp:101 0-16");
    EXPECT_EQ(lines[14], "a=sendrecv");
}

TEST(SdpDescription, SessionIdsDifferFromOfferToOffer)
{
    std::string first;
    std::string second;
    SdpDescription a;
    SdpDescription b;
    a.Init();
    b.Init();
    a.BuildOffer(FullOffer(), first);
    b.BuildOffer(FullOffer(), second);
    EXPECT_NE(Lines(first)[1], Lines(second)[1]);
}

TEST(SdpDescription, HoldOfferKeepsTheRealOrigin)
{
    SdpOfferParams p = FullOffer();
    p.ownerUserName = "";
    p.direction = "sendonly";
    p.connectionAddress = "0.0.0.0";
    p.payloads = {"0"};
    p.rtpMaps = {"PCMU/8000"};
    SdpDescription sdp;
    sdp.Init();
    std::string text;
    sdp.BuildOffer(p, text);
    std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 10u) << text;
    EXPECT_EQ(lines[1].rfind("o=- ", 0), 0u);
    EXPECT_NE(lines[1].find("IN IP4 127.0.0.1"), std::string::npos);
    EXPECT_EQ(lines[3], "c=IN IP4 0.0.0.0");
    EXPECT_EQ(lines[5], "m=audio 7000 RTP/AVP 0 101");
    EXPECT_EQ(lines[9], "a=sendonly");
    EXPECT_EQ(text.find("annexb"), std::string::npos);
}

TEST(SdpDescription, ReadsAddressPortAndCodecsOfAPeer)
{
    SdpDescription sdp;
    ASSERT_TRUE(sdp.Parse(PeerSdp("m=audio 4000 RTP/AVP 8 101", "a=rtpmap:101 telephone-event/8000\r\n")));
    std::string address;
    int port = 0;
    ASSERT_TRUE(sdp.GetConnectionAddress(address));
    EXPECT_EQ(address, "127.0.0.5");
    ASSERT_TRUE(sdp.GetMediaPort(port));
    EXPECT_EQ(port, 4000);
    SdpDescription::CodecNames names;
    CodecPayloads payloads;
    int telephoneEvent = 0;
    sdp.GetCodecMap(names, payloads, telephoneEvent);
    EXPECT_EQ(names, (SdpDescription::CodecNames{"ORVVOIP", "ORVVOIP", "ORVVOIP", "PCMA", "ORVVOIP"}));
    EXPECT_EQ(payloads.pcma, 8);
    EXPECT_EQ(telephoneEvent, 101);
}

TEST(SdpDescription, DynamicIlbcAndTelephoneEventNumbers)
{
    SdpDescription sdp;
    ASSERT_TRUE(sdp.Parse(PeerSdp("m=audio 4000 RTP/AVP 97 0 96",
                                  "a=rtpmap:97 iLBC/8000\r\na=rtpmap:96 telephone-event/8000\r\n")));
    SdpDescription::CodecNames names;
    CodecPayloads payloads;
    int telephoneEvent = 0;
    sdp.GetCodecMap(names, payloads, telephoneEvent);
    EXPECT_EQ(names[1], "iLBC");
    EXPECT_EQ(payloads.ilbc, 97);
    EXPECT_EQ(names[2], "PCMU");
    EXPECT_EQ(telephoneEvent, 96);
    ASSERT_TRUE(sdp.Parse(PeerSdp("m=audio 4000 RTP/AVP 0")));
    sdp.GetCodecMap(names, payloads, telephoneEvent);
    EXPECT_EQ(telephoneEvent, -1);
}

TEST(SdpDescription, MediaConnectionWhenTheSessionHasNone)
{
    SdpDescription sdp;
    ASSERT_TRUE(sdp.Parse("v=0\r\no=- 1 1 IN IP4 127.0.0.5\r\ns=x\r\nt=0 0\r\nm=audio 4000 RTP/AVP 0\r\n"
                          "c=IN IP4 127.0.0.6\r\n"));
    std::string address;
    ASSERT_TRUE(sdp.GetConnectionAddress(address));
    EXPECT_EQ(address, "127.0.0.6");
}

TEST(SdpDescription, DirectionSearchesTheWholeTextAndRecvonlyWins)
{
    SdpDescription sdp;
    ASSERT_TRUE(sdp.Parse(PeerSdp("m=audio 4000 RTP/AVP 0", "a=sendonly\r\nm=video 5000 RTP/AVP 31\r\na=RecvOnly\r\n")));
    EXPECT_EQ(sdp.GetDirection(), "recvonly");
    ASSERT_TRUE(sdp.Parse(PeerSdp("m=audio 4000 RTP/AVP 0", "a=sendonly\r\n")));
    EXPECT_EQ(sdp.GetDirection(), "sendonly");
    ASSERT_TRUE(sdp.Parse(PeerSdp("m=audio 4000 RTP/AVP 0", "a=inactive\r\n")));
    EXPECT_EQ(sdp.GetDirection(), "inactive");
}

TEST(SdpDescription, EmptyOrBrokenTextDoesNotParse)
{
    SdpDescription sdp;
    EXPECT_FALSE(sdp.Parse(""));
    EXPECT_FALSE(sdp.Parse("this is not sdp"));
    std::string address;
    int port = 0;
    EXPECT_FALSE(sdp.GetConnectionAddress(address));
    EXPECT_FALSE(sdp.GetMediaPort(port));
}
