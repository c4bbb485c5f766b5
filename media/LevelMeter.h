#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>

// Sound level of a stream as 0..100 for a level bar. Fed every processed block;
// read by the host. A reading that finds no audio fed for more than ten reads
// shows 0. The logarithm is taken when the level is read, not for every block fed.
class LevelMeter {
public:
    static constexpr int StaleReads = 10;

    void Reset();
    void Feed(std::span<const std::int16_t> samples);
    int Read();

private:
    static constexpr int ChunkSamples = 40;
    static constexpr int QuietDb = 58;

    void FeedChunk(std::span<const std::int16_t> chunk);

    std::mutex mutex_;
    int previousSample_ = 1700;
    // 64 bits: full-scale square waves drive the smoothed energy past 2^32.
    std::uint64_t energy_ = 0;
    bool rising_ = true;
    // The lowest smoothed energy of the last chunk fed; none when quiet or stale.
    std::optional<std::uint64_t> lowest_;
    int staleness_ = 0;
};
