#include "useragent/CodecList.h"

#include "platform/MessageLoop.h"
#include "sipsyntax/SdpDescription.h"
#include "useragent/EventSink.h"
#include "useragent/SipUserAgent.h"

#include <gtest/gtest.h>

using Strings = std::vector<std::string>;

TEST(CodecList, DefaultSelectionOrder)
{
    CodecList list = CodecList::DefaultSelection();
    if (CodecList::IsAvailable(1)) {
        EXPECT_EQ(list.PayloadTypes(), (Strings{"18", "3", "98", "8", "0"}));
    } else {
        EXPECT_EQ(list.PayloadTypes(), (Strings{"18", "3", "8", "0"})) << "a codec we cannot run is never offered";
        EXPECT_EQ(list.Names(), (Strings{"G729", "GSM", "PCMA", "PCMU"}));
        EXPECT_EQ(list.RtpMaps(), (Strings{"G729/8000", "GSM/8000", "PCMA/8000", "PCMU/8000"}));
    }
}

TEST(CodecList, SelectingBuildsTheOrderAndMovesASelectedCodecLast)
{
    CodecList list = CodecList::DefaultSelection();
    list.DeselectAll();
    EXPECT_TRUE(list.Empty());
    list.Select(3);
    list.Select(4);
    EXPECT_EQ(list.PayloadTypes(), (Strings{"0", "18"}));
    list.Select(0);
    list.Select(3);
    EXPECT_EQ(list.Names(), (Strings{"G729", "GSM", "PCMU"}));
    list.Deselect(4);
    list.Deselect(2);
    EXPECT_EQ(list.Names(), (Strings{"GSM", "PCMU"}));
}

TEST(CodecList, OfferCarriesTheOrderAndThisSidesPreferenceWins)
{
    CodecList list;
    list.Select(3);
    list.Select(4);
    SdpOfferParams params{"1001", "OrvSoft", "sendrecv", "127.0.0.1", "127.0.0.1", 7000, list.PayloadTypes(),
                          list.RtpMaps()};
    SdpDescription offer;
    offer.Init();
    std::string text;
    offer.BuildOffer(params, text);
    EXPECT_NE(text.find("m=audio 7000 RTP/AVP 0 18 101\r\n"), std::string::npos) << text;

    SdpDescription peer;
    ASSERT_TRUE(peer.Parse("v=0\r\no=- 1 1 IN IP4 127.0.0.2\r\ns=-\r\nc=IN IP4 127.0.0.2\r\nt=0 0\r\n"
                           "m=audio 4000 RTP/AVP 18 0\r\n"));
    SdpDescription::CodecNames names;
    CodecPayloads payloads;
    int telephoneEvent = 0;
    peer.GetCodecMap(names, payloads, telephoneEvent);
    EXPECT_EQ(list.FirstCommon(names), "PCMU");
    EXPECT_EQ(CodecList::CodecIndexOfName(list.FirstCommon(names)), 3);
    CodecList other;
    other.Select(2);
    EXPECT_EQ(other.FirstCommon(names), "") << "no common codec";
}

TEST(CodecList, EmptySelectionFallsBackToPcmuAndPcma)
{
    CodecList list;
    list.ApplyFallback();
    EXPECT_EQ(list.PayloadTypes(), (Strings{"0", "8"}));
    EXPECT_EQ(list.RtpMaps(), (Strings{"PCMU/8000", "PCMA/8000"}));
    list.Select(4);
    list.ApplyFallback();
    EXPECT_EQ(list.PayloadTypes(), (Strings{"0", "8", "18"})) << "a non-empty selection stays";
}

TEST(CodecList, NamesMapToCodecNumbers)
{
    EXPECT_EQ(CodecList::CodecIndexOfName("GSM"), 0);
    EXPECT_EQ(CodecList::CodecIndexOfName("iLBC"), 1);
    EXPECT_EQ(CodecList::CodecIndexOfName("PCMA"), 2);
    EXPECT_EQ(CodecList::CodecIndexOfName("PCMU"), 3);
    EXPECT_EQ(CodecList::CodecIndexOfName("G729"), 4);
    EXPECT_EQ(CodecList::CodecIndexOfName("ORVVOIP"), 2);
}

TEST(CodecSelection, EngineMethodsWorkBeforeInitializeAndReportError23)
{
    MessageLoop loop;
    EventSink sink;
    SipUserAgent agent(&sink, loop);
    EXPECT_TRUE(agent.Codecs().Empty()) << "nothing selected before the first Initialize";
    EXPECT_TRUE(agent.SelectVoiceCodec(3));
    EXPECT_FALSE(agent.SelectVoiceCodec(5));
    EXPECT_EQ(agent.GetLastError(), 23);
    EXPECT_FALSE(agent.DeselectVoiceCodec(-1));
    EXPECT_EQ(agent.GetLastError(), 23);
    EXPECT_TRUE(agent.DeselectVoiceCodec(1)) << "deselecting what is not selected is fine";
    EXPECT_EQ(agent.SelectVoiceCodec(1), CodecList::IsAvailable(1));
    agent.DeselectAllVoiceCodec();
    EXPECT_TRUE(agent.Codecs().Empty());
    ASSERT_TRUE(agent.Initialize(true, "127.0.0.1", 0, "", "", "127.0.0.1", "1001", "pw", false, 1));
    EXPECT_EQ(agent.Codecs().Names(), CodecList::DefaultSelection().Names()) << "Initialize restores the default";
}
