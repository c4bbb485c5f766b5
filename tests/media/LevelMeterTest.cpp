#include "media/LevelMeter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

std::vector<std::int16_t> Tone(double amplitude, std::size_t samples = 80)
{
    std::vector<std::int16_t> tone(samples);
    for (std::size_t n = 0; n < samples; ++n)
        tone[n] = static_cast<std::int16_t>(amplitude * std::sin(2 * std::numbers::pi * 1000.0 * n / 8000.0));
    return tone;
}

int LevelAfter(const std::vector<std::int16_t>& block, int blocks)
{
    LevelMeter meter;
    meter.Reset();
    for (int i = 0; i < blocks; ++i)
        meter.Feed(block);
    return meter.Read();
}

} // namespace

TEST(LevelMeter, SilenceReadsZero)
{
    EXPECT_EQ(LevelAfter(std::vector<std::int16_t>(80, 0), 100), 0);
    LevelMeter fresh;
    EXPECT_EQ(fresh.Read(), 0);
}

TEST(LevelMeter, LouderAudioReadsHigher)
{
    const int quiet = LevelAfter(Tone(300), 20);
    const int medium = LevelAfter(Tone(3000), 20);
    const int loud = LevelAfter(Tone(30000), 20);
    EXPECT_GT(quiet, 0);
    EXPECT_LT(quiet, medium);
    EXPECT_LT(medium, loud);
    EXPECT_LE(loud, 100);
}

TEST(LevelMeter, FullScaleSquareWaveDoesNotWrapAround)
{
    std::vector<std::int16_t> square(80);
    for (std::size_t n = 0; n < square.size(); ++n)
        square[n] = (n % 2 == 0) ? 32767 : -32768;
    EXPECT_EQ(LevelAfter(square, 50), 100);
}

TEST(LevelMeter, FallsToZeroFromTheEleventhReadWithoutAudio)
{
    LevelMeter meter;
    meter.Reset();
    for (int i = 0; i < 20; ++i)
        meter.Feed(Tone(10000));
    for (int read = 1; read <= LevelMeter::StaleReads; ++read)
        EXPECT_GT(meter.Read(), 0) << read;
    for (int read = LevelMeter::StaleReads + 1; read <= 25; ++read)
        EXPECT_EQ(meter.Read(), 0) << read;
}

TEST(LevelMeter, FeedingKeepsTheLevelFresh)
{
    LevelMeter meter;
    meter.Reset();
    for (int read = 0; read < 30; ++read) {
        meter.Feed(Tone(10000));
        EXPECT_GT(meter.Read(), 0) << read;
    }
}
