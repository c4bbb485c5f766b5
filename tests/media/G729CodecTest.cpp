#include "SpeechSignal.h"
#include "media/CodecError.h"
#include "media/G729Codec.h"

#include <gtest/gtest.h>

TEST(G729Codec, FramesAre80SamplesTo10Bytes)
{
    G729Codec codec;
    EXPECT_EQ(codec.PacketSamples(), 80u);
    EXPECT_EQ(codec.EncodedBytes(80), 10u);
    EXPECT_EQ(codec.DecodedSamples(20), 160u);
    EXPECT_TRUE(codec.IsWholePayload(20));
    EXPECT_FALSE(codec.IsWholePayload(15));
}

TEST(G729Codec, EncodesOneFrameToTenBytes)
{
    G729Codec codec;
    const auto speech = SpeechLikeSignal(80);
    std::uint8_t payload[512];
    std::size_t bytes = 0;
    ASSERT_EQ(codec.Encode(speech, payload, bytes), CodecOk);
    EXPECT_EQ(bytes, 10u);
}

TEST(G729Codec, RefusesPartialPayloadsAndShortOutput)
{
    G729Codec codec;
    std::vector<std::uint8_t> received(15);
    std::int16_t out[160];
    std::size_t samples = 3;
    EXPECT_EQ(codec.Decode(received, out, samples), CodecNotWholeFrames);
    EXPECT_EQ(samples, 0u);
    EXPECT_EQ(codec.Decode(std::span(received).first(10), std::span(out).first(79), samples), CodecNoSpace);
    std::int16_t pcm[80] = {};
    std::uint8_t payload[9];
    std::size_t bytes = 3;
    EXPECT_EQ(codec.Encode(pcm, payload, bytes), CodecNoSpace);
    EXPECT_EQ(bytes, 0u);
}

TEST(G729Codec, RoundTripKeepsEnergyAndSpectralShape)
{
    G729Codec codec;
    const auto speech = SpeechLikeSignal(8000);
    std::vector<std::int16_t> decoded;
    for (std::size_t at = 0; at < speech.size(); at += 80) {
        std::uint8_t frame[512];
        std::size_t bytes = 0;
        ASSERT_EQ(codec.Encode(std::span(speech).subspan(at, 80), frame, bytes), CodecOk);
        std::int16_t block[80];
        std::size_t samples = 0;
        ASSERT_EQ(codec.Decode(std::span(frame, bytes), block, samples), CodecOk);
        decoded.insert(decoded.end(), block, block + samples);
    }
    ASSERT_EQ(decoded.size(), speech.size());
    const double ratio = SignalEnergy(decoded) / SignalEnergy(speech);
    EXPECT_GT(ratio, 0.5);
    EXPECT_LT(ratio, 2.0);
    EXPECT_GT(Correlation(BandLevels(speech), BandLevels(decoded)), 0.9);
}

TEST(SpeechSignal, ShapeMeasureRejectsNoiseOfTheSameEnergy)
{
    const auto speech = SpeechLikeSignal(8000);
    std::vector<std::int16_t> noise(speech.size());
    std::uint32_t seed = 12345;
    const double rms = std::sqrt(SignalEnergy(speech));
    for (auto& sample : noise) {
        seed = seed * 1664525u + 1013904223u;
        sample = static_cast<std::int16_t>((static_cast<double>(seed >> 8) / (1 << 24) - 0.5) * rms * 3.46);
    }
    const double ratio = SignalEnergy(noise) / SignalEnergy(speech);
    EXPECT_GT(ratio, 0.5);
    EXPECT_LT(ratio, 2.0);
    EXPECT_LT(Correlation(BandLevels(speech), BandLevels(noise)), 0.9);
}
