#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

// A speech-like test signal: a glottal pulse train with a wandering pitch, shaped
// by three formant resonators that move between vowels, in syllables of 250 ms.
inline std::vector<std::int16_t> SpeechLikeSignal(std::size_t samples)
{
    struct Vowel {
        double f1, f2, f3;
    };
    const Vowel vowels[] = {{700, 1200, 2500}, {300, 2300, 3000}, {500, 900, 2400}, {400, 1900, 2600}};
    constexpr double rate = 8000.0;
    double state[3][2] = {};
    double pitchPhase = 0.0;
    std::vector<double> shaped(samples);
    for (std::size_t n = 0; n < samples; ++n) {
        const double t = static_cast<double>(n) / rate;
        const Vowel& vowel = vowels[(n / 2000) % 4];
        const double pitch = 120.0 + 20.0 * std::sin(2 * std::numbers::pi * 1.5 * t);
        pitchPhase += pitch / rate;
        double excitation = 0.0;
        if (pitchPhase >= 1.0) {
            pitchPhase -= 1.0;
            excitation = 1.0;
        }
        double value = excitation;
        const double formants[3] = {vowel.f1, vowel.f2, vowel.f3};
        for (int k = 0; k < 3; ++k) {
            const double radius = std::exp(-std::numbers::pi * 80.0 / rate);
            const double theta = 2 * std::numbers::pi * formants[k] / rate;
            const double out = value + 2 * radius * std::cos(theta) * state[k][0] - radius * radius * state[k][1];
            state[k][1] = state[k][0];
            state[k][0] = out;
            value = out;
        }
        const double envelope = std::pow(std::sin(std::numbers::pi * std::fmod(t, 0.25) / 0.25), 2);
        shaped[n] = value * envelope;
    }
    double peak = 1e-9;
    for (double value : shaped)
        peak = std::max(peak, std::abs(value));
    std::vector<std::int16_t> signal(samples);
    for (std::size_t n = 0; n < samples; ++n)
        signal[n] = static_cast<std::int16_t>(shaped[n] / peak * 16000.0);
    return signal;
}

// Mean power of a signal.
inline double SignalEnergy(const std::vector<std::int16_t>& signal)
{
    double sum = 0.0;
    for (std::int16_t sample : signal)
        sum += static_cast<double>(sample) * sample;
    return signal.empty() ? 0.0 : sum / static_cast<double>(signal.size());
}

// Power in dB of 14 bands of 250 Hz from 250 Hz up, from 256-point windowed DFTs.
inline std::vector<double> BandLevels(const std::vector<std::int16_t>& signal)
{
    constexpr std::size_t frame = 256;
    constexpr std::size_t bands = 14;
    std::vector<double> power(frame / 2, 0.0);
    for (std::size_t start = 0; start + frame <= signal.size(); start += frame) {
        for (std::size_t bin = 0; bin < frame / 2; ++bin) {
            double re = 0.0, im = 0.0;
            for (std::size_t n = 0; n < frame; ++n) {
                const double window = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * n / frame);
                const double angle = 2 * std::numbers::pi * bin * n / frame;
                re += window * signal[start + n] * std::cos(angle);
                im -= window * signal[start + n] * std::sin(angle);
            }
            power[bin] += re * re + im * im;
        }
    }
    std::vector<double> levels(bands, 0.0);
    const std::size_t binsPerBand = frame / 2 / 16;
    for (std::size_t band = 0; band < bands; ++band) {
        double sum = 1e-9;
        for (std::size_t bin = (band + 1) * binsPerBand; bin < (band + 2) * binsPerBand; ++bin)
            sum += power[bin];
        levels[band] = 10.0 * std::log10(sum);
    }
    return levels;
}

// Pearson correlation of two equally long series.
inline double Correlation(const std::vector<double>& a, const std::vector<double>& b)
{
    double meanA = 0.0, meanB = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        meanA += a[i];
        meanB += b[i];
    }
    meanA /= static_cast<double>(a.size());
    meanB /= static_cast<double>(b.size());
    double cov = 0.0, varA = 0.0, varB = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        cov += (a[i] - meanA) * (b[i] - meanB);
        varA += (a[i] - meanA) * (a[i] - meanA);
        varB += (b[i] - meanB) * (b[i] - meanB);
    }
    return cov / std::sqrt(varA * varB + 1e-12);
}
