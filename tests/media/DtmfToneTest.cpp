#include "media/DtmfTone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <vector>

namespace {

constexpr std::size_t ToneSamples = 800;
constexpr double SampleRate = 8000.0;
constexpr int Peak = 126 * 256;

// The tone formula done by hand: 8-bit offset binary around 128, as 16 bits.
std::int16_t FormulaSample(double wHigh, double wLow, int i)
{
    const int offsetBinary = static_cast<int>((std::sin(i * wHigh) + std::sin(i * wLow)) * 63 + 128);
    return static_cast<std::int16_t>((offsetBinary - 128) * 256);
}

// Power of `samples` at `hz`, normalised so that a sine of amplitude A gives about A*A/4.
double GoertzelPower(const std::vector<std::int16_t>& samples, double hz)
{
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * hz / SampleRate);
    double previous = 0;
    double beforePrevious = 0;
    for (std::int16_t sample : samples) {
        const double current = sample + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    const double n = static_cast<double>(samples.size());
    return (previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious) / (n * n);
}

bool IsSilence(const std::vector<std::int16_t>& samples)
{
    return std::all_of(samples.begin(), samples.end(), [](std::int16_t s) { return s == 0; });
}

} // namespace

TEST(DtmfTone, KeysAreNumberedZeroToFifteen)
{
    const char* keys[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "*", "#", "A", "B", "C", "D"};
    for (int code = 0; code < 16; ++code)
        EXPECT_EQ(DtmfTone::DigitCode(keys[code]), code) << keys[code];
}

TEST(DtmfTone, OtherTextIsReadAsALeadingDecimalNumber)
{
    EXPECT_EQ(DtmfTone::DigitCode("12"), 12);
    EXPECT_EQ(DtmfTone::DigitCode(" 7"), 7);
    EXPECT_EQ(DtmfTone::DigitCode("\t16"), 16);
    EXPECT_EQ(DtmfTone::DigitCode("+4"), 4);
    EXPECT_EQ(DtmfTone::DigitCode("-3"), -3);
    EXPECT_EQ(DtmfTone::DigitCode("5x"), 5);
    EXPECT_EQ(DtmfTone::DigitCode("x"), 0);
    EXPECT_EQ(DtmfTone::DigitCode("a"), 0) << "letters are upper case only";
    EXPECT_EQ(DtmfTone::DigitCode("AB"), 0);
    EXPECT_EQ(DtmfTone::DigitCode(""), 0);
    EXPECT_EQ(DtmfTone::DigitCode("   "), 0);
    EXPECT_EQ(DtmfTone::DigitCode("+-5"), 0);
    EXPECT_EQ(DtmfTone::DigitCode("3000000000"), 0) << "does not fit an int";
    EXPECT_EQ(DtmfTone::DigitCode("99999999999"), 0);
}

TEST(DtmfTone, SamplesFollowTheToneFormula)
{
    const std::vector<std::int16_t> five = DtmfTone::Generate(5, ToneSamples);
    ASSERT_EQ(five.size(), ToneSamples);
    EXPECT_EQ(five[0], 0);
    EXPECT_EQ(five[1], 90 * 256);
    EXPECT_EQ(five[2], 113 * 256);
    EXPECT_EQ(five[3], 60 * 256);
    for (int i = 0; i < static_cast<int>(ToneSamples); ++i)
        ASSERT_EQ(five[static_cast<std::size_t>(i)], FormulaSample(1.04876, 0.60445, i)) << i;
    const std::vector<std::int16_t> hash = DtmfTone::Generate(11, ToneSamples);
    for (int i = 0; i < static_cast<int>(ToneSamples); ++i)
        ASSERT_EQ(hash[static_cast<std::size_t>(i)], FormulaSample(1.159445, 0.738685, i)) << i;
}

TEST(DtmfTone, EveryKeyStaysWithinThePeakWithAnEmptyLowByte)
{
    for (int code = 0; code < 12; ++code) {
        const std::vector<std::int16_t> tone = DtmfTone::Generate(code, ToneSamples);
        EXPECT_FALSE(IsSilence(tone)) << code;
        for (std::int16_t sample : tone) {
            ASSERT_LE(std::abs(sample), Peak) << code;
            ASSERT_EQ(sample % 256, 0) << code;
        }
    }
}

TEST(DtmfTone, FiveIsSevenSeventyAndThirteenThirtySixHertz)
{
    const std::vector<std::int16_t> five = DtmfTone::Generate(5, ToneSamples);
    const double low = GoertzelPower(five, 770);
    const double high = GoertzelPower(five, 1336);
    const double amplitude = 63 * 256;
    EXPECT_GT(low, amplitude * amplitude / 4 * 0.8);
    EXPECT_GT(high, amplitude * amplitude / 4 * 0.8);
    for (double other : {697.0, 852.0, 941.0, 1209.0, 1477.0}) {
        EXPECT_LT(GoertzelPower(five, other) * 100, low) << other;
        EXPECT_LT(GoertzelPower(five, other) * 100, high) << other;
    }
}

TEST(DtmfTone, CodesWithoutAToneGiveSilence)
{
    for (int code : {12, 13, 14, 15, 16, -1, 99}) {
        const std::vector<std::int16_t> tone = DtmfTone::Generate(code, ToneSamples);
        EXPECT_EQ(tone.size(), ToneSamples) << code;
        EXPECT_TRUE(IsSilence(tone)) << code;
    }
    EXPECT_TRUE(DtmfTone::Generate(5, 0).empty());
}

TEST(DtmfTone, LocalToneAtFullVolumeIsTheTone)
{
    EXPECT_EQ(DtmfTone::GenerateLocal(5, ToneSamples, 25), DtmfTone::Generate(5, ToneSamples));
}

TEST(DtmfTone, LocalToneAtVolumeZeroIsSilence)
{
    const std::vector<std::int16_t> tone = DtmfTone::GenerateLocal(5, ToneSamples, 0);
    EXPECT_EQ(tone.size(), ToneSamples);
    EXPECT_TRUE(IsSilence(tone));
    EXPECT_TRUE(IsSilence(DtmfTone::GenerateLocal(5, ToneSamples, -4))) << "below 0 is 0";
}

TEST(DtmfTone, VolumesAboveTwentyFiveAreFullVolume)
{
    EXPECT_EQ(DtmfTone::GenerateLocal(3, ToneSamples, 26), DtmfTone::Generate(3, ToneSamples));
    EXPECT_EQ(DtmfTone::GenerateLocal(3, ToneSamples, 1000), DtmfTone::Generate(3, ToneSamples));
}

TEST(DtmfTone, LocalToneScalesWithTheVolume)
{
    const std::vector<std::int16_t> full = DtmfTone::Generate(8, ToneSamples);
    for (int volume : {1, 10, 24}) {
        const std::vector<std::int16_t> local = DtmfTone::GenerateLocal(8, ToneSamples, volume);
        ASSERT_EQ(local.size(), full.size());
        for (std::size_t i = 0; i < full.size(); ++i)
            ASSERT_NEAR(local[i], full[i] * volume / 25.0, 1.0) << volume << " at " << i;
    }
}
