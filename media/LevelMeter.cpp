#include "media/LevelMeter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {
// dB of a smoothed energy relative to full scale.
constexpr double FullScaleDb = 93.32;
} // namespace

void LevelMeter::Reset()
{
    std::lock_guard lock(mutex_);
    previousSample_ = 1700;
    energy_ = 0;
    rising_ = true;
    lowest_.reset();
    staleness_ = 0;
}

void LevelMeter::Feed(std::span<const std::int16_t> samples)
{
    std::lock_guard lock(mutex_);
    staleness_ = std::max(staleness_ - 1, 0);
    for (std::size_t at = 0; at < samples.size(); at += ChunkSamples)
        FeedChunk(samples.subspan(at, std::min<std::size_t>(ChunkSamples, samples.size() - at)));
}

void LevelMeter::FeedChunk(std::span<const std::int16_t> chunk)
{
    std::uint64_t lowest = UINT64_MAX;
    for (std::int16_t sample : chunk) {
        const std::int64_t difference = sample - previousSample_;
        previousSample_ = sample;
        const auto square = static_cast<std::int64_t>(difference * difference);
        const auto energy = static_cast<std::int64_t>(energy_);
        // Fast attack, slow release.
        const std::int64_t increment = rising_ ? square / 32 - energy / 64 : square / 256 - energy / 512;
        energy_ = static_cast<std::uint64_t>(energy + increment);
        rising_ = increment > 0;
        lowest = std::min(lowest, energy_);
    }
    lowest_ = lowest;
}

int LevelMeter::Read()
{
    std::lock_guard lock(mutex_);
    if (++staleness_ > StaleReads) {
        staleness_ = 0;
        lowest_.reset();
    }
    // Digital silence has no logarithm; it reads as the quietest level.
    if (!lowest_ || *lowest_ == 0)
        return 0;
    const int levelDb = static_cast<int>(10.0 * std::log10(static_cast<double>(*lowest_)) - FullScaleDb);
    return std::clamp(2 * (QuietDb - std::min(std::abs(levelDb), QuietDb)), 0, 100);
}
