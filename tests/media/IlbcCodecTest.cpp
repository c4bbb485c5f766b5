#include "media/CodecError.h"
#include "media/CodecSet.h"
#include "media/IlbcCodec.h"

#include <gtest/gtest.h>

#include <vector>

TEST(IlbcCodec, PayloadSizesChooseTheFrameMode)
{
    IlbcCodec codec;
    EXPECT_EQ(codec.PacketSamples(), 240u);
    EXPECT_EQ(codec.EncodedBytes(240), 50u);
    EXPECT_EQ(codec.DecodedSamples(100) * 2, 960u);
    EXPECT_EQ(codec.DecodedSamples(76) * 2, 640u);
    EXPECT_TRUE(codec.IsWholePayload(38));
    EXPECT_FALSE(codec.IsWholePayload(40));
    EXPECT_EQ(codec.DecodedSamples(40), 0u);
}

TEST(IlbcCodec, AvailabilityFollowsTheBuild)
{
    IlbcCodec codec;
    EXPECT_EQ(codec.Available(), IlbcCodec::BuiltIn());
    EXPECT_EQ(CodecSet::IsAvailable(CodecSet::Ilbc), IlbcCodec::BuiltIn());
    if (codec.Available())
        GTEST_SKIP() << "libilbc is built in";
    std::vector<std::int16_t> pcm(240);
    std::uint8_t payload[512];
    std::size_t bytes = 1;
    EXPECT_EQ(codec.Encode(pcm, payload, bytes), CodecUnavailable);
    EXPECT_EQ(bytes, 0u);
    std::vector<std::int16_t> out(480);
    std::size_t samples = 1;
    EXPECT_EQ(codec.Decode(std::span(payload).first(50), out, samples), CodecUnavailable);
    EXPECT_EQ(samples, 0u);
}

TEST(IlbcCodec, DecoderSwitchesModeOnlyWhenThePayloadAsksForIt)
{
    IlbcCodec codec;
    if (!codec.Available())
        GTEST_SKIP() << "libilbc is not built in";
    std::vector<std::uint8_t> payload(100);
    std::vector<std::int16_t> out(480);
    std::size_t samples = 0;
    EXPECT_EQ(codec.DecoderModeMs(), 30);
    codec.Decode(std::span(payload).first(38), out, samples);
    EXPECT_EQ(codec.DecoderModeMs(), 20);
    codec.Decode(std::span(payload).first(76), out, samples);
    EXPECT_EQ(codec.DecoderModeMs(), 20);
    codec.Decode(std::span(payload).first(100), out, samples);
    EXPECT_EQ(codec.DecoderModeMs(), 30);
}

TEST(CodecSet, IndexesNameTheFiveCodecs)
{
    CodecSet codecs;
    EXPECT_EQ(codecs.At(CodecSet::Gsm)->PacketSamples(), 160u);
    EXPECT_EQ(codecs.At(CodecSet::Ilbc)->PacketSamples(), 240u);
    EXPECT_EQ(codecs.At(CodecSet::Pcma)->PacketSamples(), 160u);
    EXPECT_EQ(codecs.At(CodecSet::Pcmu)->PacketSamples(), 160u);
    EXPECT_EQ(codecs.At(CodecSet::G729)->PacketSamples(), 80u);
    EXPECT_EQ(codecs.At(-1), nullptr);
    EXPECT_EQ(codecs.At(5), nullptr);
    EXPECT_FALSE(CodecSet::IsAvailable(5));
    EXPECT_TRUE(CodecSet::IsAvailable(CodecSet::G729));
}
