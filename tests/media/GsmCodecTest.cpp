#include "SpeechSignal.h"
#include "media/CodecError.h"
#include "media/GsmCodec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace {

std::vector<std::uint8_t> EncodeAll(GsmCodec& codec, const std::vector<std::int16_t>& pcm)
{
    std::vector<std::uint8_t> payload;
    for (std::size_t at = 0; at + 160 <= pcm.size(); at += 160) {
        std::uint8_t frame[512];
        std::size_t bytes = 0;
        EXPECT_EQ(codec.Encode(std::span(pcm).subspan(at, 160), frame, bytes), CodecOk);
        payload.insert(payload.end(), frame, frame + bytes);
    }
    return payload;
}

std::vector<std::int16_t> DecodeAll(GsmCodec& codec, const std::vector<std::uint8_t>& payload)
{
    std::vector<std::int16_t> pcm;
    for (std::size_t at = 0; at + 33 <= payload.size(); at += 33) {
        std::int16_t block[160];
        std::size_t samples = 0;
        EXPECT_EQ(codec.Decode(std::span(payload).subspan(at, 33), block, samples), CodecOk);
        pcm.insert(pcm.end(), block, block + samples);
    }
    return pcm;
}

bool HaveToast()
{
    return std::system("command -v toast >/dev/null 2>&1") == 0;
}

} // namespace

TEST(GsmCodec, FramesAre160SamplesTo33Bytes)
{
    GsmCodec codec;
    EXPECT_EQ(codec.PacketSamples(), 160u);
    EXPECT_EQ(codec.EncodedBytes(320), 66u);
    EXPECT_EQ(codec.DecodedSamples(66), 320u);
    EXPECT_TRUE(codec.IsWholePayload(66));
    EXPECT_FALSE(codec.IsWholePayload(34));
}

TEST(GsmCodec, RefusesPartialFramesAndShortOutput)
{
    GsmCodec codec;
    std::vector<std::int16_t> pcm(170);
    std::uint8_t payload[512];
    std::size_t bytes = 7;
    EXPECT_EQ(codec.Encode(pcm, payload, bytes), CodecNotWholeFrames);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(codec.Encode(std::span(pcm).first(160), std::span(payload).first(32), bytes), CodecNoSpace);

    std::vector<std::uint8_t> received(40, 0xD0);
    std::int16_t out[320];
    std::size_t samples = 7;
    EXPECT_EQ(codec.Decode(received, out, samples), CodecNotWholeFrames);
    EXPECT_EQ(samples, 0u);
    EXPECT_EQ(codec.Decode(std::span(received).first(33), std::span(out).first(159), samples), CodecNoSpace);
}

TEST(GsmCodec, RoundTripKeepsEnergyAndSpectralShape)
{
    GsmCodec codec;
    const auto speech = SpeechLikeSignal(8000);
    const auto decoded = DecodeAll(codec, EncodeAll(codec, speech));
    ASSERT_EQ(decoded.size(), speech.size());
    const double ratio = SignalEnergy(decoded) / SignalEnergy(speech);
    EXPECT_GT(ratio, 0.5);
    EXPECT_LT(ratio, 2.0);
    EXPECT_GT(Correlation(BandLevels(speech), BandLevels(decoded)), 0.9);
}

TEST(GsmCodec, EncodesAsTheLibrarysOwnToastTool)
{
    if (!HaveToast())
        GTEST_SKIP() << "toast (libgsm-tools) is not installed";
    char directory[] = "/tmp/orvsip-gsm-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    const std::string raw = std::string(directory) + "/speech.raw";
    const auto speech = SpeechLikeSignal(16000);
    {
        std::ofstream out(raw, std::ios::binary);
        out.write(reinterpret_cast<const char*>(speech.data()), static_cast<std::streamsize>(speech.size() * 2));
    }
    const std::string command = "toast -l -c " + raw + " > " + raw + ".gsm";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(raw + ".gsm", std::ios::binary);
    const std::vector<std::uint8_t> reference{std::istreambuf_iterator<char>(in), {}};
    std::remove((raw + ".gsm").c_str());
    std::remove(raw.c_str());
    rmdir(directory);

    GsmCodec codec;
    EXPECT_EQ(EncodeAll(codec, speech), reference);
}
