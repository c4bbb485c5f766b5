#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Reads a sound file of any format libsndfile knows as 8000 Hz 16-bit mono:
// channels are averaged and other rates resampled.
class WavSource {
public:
    static constexpr int SampleRate = 8000;
    // Only the first ten minutes are read: a file of a tiny sample rate grows up to
    // 8000 times in memory when converted.
    static constexpr std::int64_t MaxSeconds = 600;

    // Empty when the file cannot be read.
    static std::optional<std::vector<std::int16_t>> Load(const std::string& path);
};
