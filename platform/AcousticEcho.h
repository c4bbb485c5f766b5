#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>

// The air between the virtual speaker and the virtual microphone: what the speaker
// plays reaches the microphone after a delay and attenuated, as a handset or a
// laptop's speaker leaks into its own microphone. Both devices move 10 ms at a time
// at the same pace, so the delay holds once laid down: when the microphone starts
// listening, and again after the speaker fell silent. Thread-safe: the two devices
// run on threads of their own.
class AcousticEcho {
public:
    static constexpr int SampleRate = 8000;
    static constexpr int MaxDelayMs = 500;
    static constexpr double MaxAttenuationDb = 100.0;

    AcousticEcho(int delayMs, double attenuationDb);

    // From "DELAY_MS,ATTENUATION_DB" (for example "30,10"); null for text of another
    // shape or values outside 0..500 ms and 0..100 dB.
    static std::shared_ptr<AcousticEcho> Parse(const std::string& text);

    int DelayMs() const { return delayMs_; }
    double AttenuationDb() const { return attenuationDb_; }

    // The microphone side: listening starts and ends with the capture stream, and
    // the echo due now is added to each captured block.
    void StartListening();
    void StopListening();
    void AddTo(std::span<std::int16_t> samples);
    // The speaker side: samples as they are played. Nothing is kept while no
    // microphone listens.
    void Play(std::span<const std::int16_t> samples);

private:
    std::size_t DelaySamples() const;

    const int delayMs_;
    const double attenuationDb_;
    const double gain_;
    std::mutex mutex_;
    std::deque<float> air_;
    bool listening_ = false;
    bool delayLaid_ = false;
};
