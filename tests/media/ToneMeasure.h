#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <span>
#include <vector>

// Power of one frequency in a stretch of 8 kHz samples (Goertzel).
inline double ToneEnergy(std::span<const std::int16_t> samples, double frequency)
{
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / 8000.0);
    double previous = 0.0, before = 0.0;
    for (std::int16_t sample : samples) {
        const double next = sample + coefficient * previous - before;
        before = previous;
        previous = next;
    }
    return previous * previous + before * before - coefficient * previous * before;
}

// The frequency with most energy between `low` and `high`, in 10 Hz steps.
inline int DominantFrequency(const std::vector<std::int16_t>& samples, int low = 100, int high = 3800)
{
    int best = low;
    double bestPower = -1.0;
    for (int frequency = low; frequency < high; frequency += 10) {
        const double power = ToneEnergy(samples, frequency);
        if (power > bestPower) {
            bestPower = power;
            best = frequency;
        }
    }
    return best;
}

inline double Rms(const std::vector<std::int16_t>& samples)
{
    double sum = 0.0;
    for (std::int16_t sample : samples)
        sum += static_cast<double>(sample) * sample;
    return samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size()));
}
