#include "media/CodecError.h"
#include "media/G711Codec.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

// Distance between neighbouring decoder outputs around `decoded`: the law's step there.
int StepSize(G711Law law, std::int16_t decoded)
{
    const int magnitude = std::abs(static_cast<int>(decoded));
    if (law == G711Law::MuLaw) {
        int segment = 0;
        while (segment < 7 && magnitude >= ((33 << (segment + 1)) - 33) * 4)
            ++segment;
        return 8 << segment;
    }
    int segment = 1;
    while (segment < 7 && magnitude >= (256 << segment))
        ++segment;
    return 16 << (segment - 1);
}

} // namespace

TEST(G711Tables, ZeroEncodesToTheLawsZeroCode)
{
    EXPECT_EQ(G711Tables::Encode(G711Law::MuLaw, 0), 0xFF);
    EXPECT_EQ(G711Tables::Encode(G711Law::ALaw, 0), 0xD5);
}

TEST(G711Tables, SmallSamplesShareTheEntryOfZero)
{
    EXPECT_EQ(G711Tables::EncodeIndex(-3), G711Tables::EncodeIndex(0));
    EXPECT_EQ(G711Tables::EncodeIndex(3), G711Tables::EncodeIndex(0));
    EXPECT_NE(G711Tables::EncodeIndex(-4), G711Tables::EncodeIndex(0));
    EXPECT_EQ(G711Tables::EncodeIndex(-32768), 0x2000u);
    EXPECT_EQ(G711Tables::EncodeIndex(32767), 0x1FFFu);
}

TEST(G711Tables, TablesFollowTheConversions)
{
    for (int code = 0; code < 256; ++code) {
        const auto byte = static_cast<std::uint8_t>(code);
        EXPECT_EQ(G711Tables::Decode(G711Law::MuLaw, byte), G711Tables::MuLawToLinear(byte));
        EXPECT_EQ(G711Tables::Decode(G711Law::ALaw, byte), G711Tables::ALawToLinear(byte));
        // Every code decodes to a value that encodes back to the same code, except
        // the negative zero of mu-law, which the encoder never produces.
        if (code != 0x7F) {
            EXPECT_EQ(G711Tables::LinearToMuLaw(G711Tables::MuLawToLinear(byte)), byte) << code;
        }
        EXPECT_EQ(G711Tables::LinearToALaw(G711Tables::ALawToLinear(byte)), byte) << code;
    }
}

TEST(G711Tables, KnownCodesOfTheStandard)
{
    EXPECT_EQ(G711Tables::MuLawToLinear(0x00), -32124);
    EXPECT_EQ(G711Tables::MuLawToLinear(0x80), 32124);
    EXPECT_EQ(G711Tables::ALawToLinear(0xAA), 32256);
    EXPECT_EQ(G711Tables::ALawToLinear(0x2A), -32256);
    EXPECT_EQ(G711Tables::ALawToLinear(0xD5), 8);
}

class G711RoundTrip : public testing::TestWithParam<G711Law> {};

TEST_P(G711RoundTrip, EverySampleSurvivesWithinTheStepSize)
{
    const G711Law law = GetParam();
    for (int sample = -32768; sample <= 32767; ++sample) {
        const auto value = static_cast<std::int16_t>(sample);
        const std::int16_t decoded = G711Tables::Decode(law, G711Tables::Encode(law, value));
        ASSERT_LE(std::abs(decoded - sample), StepSize(law, decoded)) << sample;
    }
}

TEST_P(G711RoundTrip, CodecEncodesAndDecodesAPacket)
{
    G711Codec codec(GetParam());
    std::vector<std::int16_t> pcm(160);
    for (std::size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<std::int16_t>(static_cast<int>(i) * 400 - 32000);
    std::vector<std::uint8_t> payload(512);
    std::size_t bytes = 0;
    ASSERT_EQ(codec.Encode(pcm, payload, bytes), CodecOk);
    ASSERT_EQ(bytes, 160u);
    std::vector<std::int16_t> decoded(160);
    std::size_t samples = 0;
    ASSERT_EQ(codec.Decode(std::span(payload).first(bytes), decoded, samples), CodecOk);
    ASSERT_EQ(samples, 160u);
    for (std::size_t i = 0; i < pcm.size(); ++i)
        EXPECT_EQ(decoded[i], G711Tables::Decode(GetParam(), G711Tables::Encode(GetParam(), pcm[i])));
}

TEST_P(G711RoundTrip, TooLittleOutputSpaceGivesMinusTen)
{
    G711Codec codec(GetParam());
    std::vector<std::int16_t> pcm(160);
    std::vector<std::uint8_t> payload(159, 0xAB);
    std::size_t bytes = 99;
    EXPECT_EQ(codec.Encode(pcm, payload, bytes), CodecNoSpace);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(payload[0], 0xAB);

    std::vector<std::uint8_t> received(160);
    std::vector<std::int16_t> out(159);
    std::size_t samples = 99;
    EXPECT_EQ(codec.Decode(received, out, samples), CodecNoSpace);
    EXPECT_EQ(samples, 0u);
}

INSTANTIATE_TEST_SUITE_P(Laws, G711RoundTrip, testing::Values(G711Law::MuLaw, G711Law::ALaw),
                         [](const auto& info) { return info.param == G711Law::MuLaw ? "MuLaw" : "ALaw"; });
