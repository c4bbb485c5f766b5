#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

// The air between the virtual speaker and the virtual microphone: what the speaker
// plays reaches the microphone a fixed delay later and attenuated, as a handset or
// a laptop's speaker leaks into its own microphone. The two devices run on one
// sample clock, as the two sides of a sound card do: the microphone's n-th sample
// hears the sample the speaker played `delay` samples before it, counted from the
// moment each device started. A block handed to the speaker plays during the 10 ms
// after it, and a block the microphone gives holds the 10 ms before it, so even at
// no delay a block is heard in the microphone's block after the one it was played
// in. A device thread held up for a while and catching up keeps that count; what
// the speaker plays too late for its moment is not heard.
// Thread-safe: the two devices run on threads of their own.
class AcousticEcho {
public:
    static constexpr int SampleRate = 8000;
    static constexpr int MaxDelayMs = 500;
    static constexpr double MaxAttenuationDb = 100.0;
    static constexpr std::int64_t BlockSamples = 80;

    AcousticEcho(int delayMs, double attenuationDb);

    // From "DELAY_MS,ATTENUATION_DB" (for example "30,10"); null for text of another
    // shape or values outside 0..500 ms and 0..100 dB.
    static std::shared_ptr<AcousticEcho> Parse(const std::string& text);

    int DelayMs() const { return delayMs_; }
    double AttenuationDb() const { return attenuationDb_; }

    // The microphone side: listening starts and ends with the capture stream, and
    // the echo due is added to each captured block.
    void StartListening();
    void StopListening();
    void AddTo(std::span<std::int16_t> samples);
    // The speaker side: playing starts with the playback stream, then its samples
    // as they are played.
    void StartPlaying();
    void Play(std::span<const std::int16_t> samples);

private:
    // From a sample handed to the speaker to the microphone sample that hears it.
    std::int64_t DistanceSamples() const;

    const int delayMs_;
    const double attenuationDb_;
    const float gain_;
    std::mutex mutex_;
    // The last second or so played, by sample number.
    std::vector<float> played_;
    std::int64_t playedCount_ = 0;
    // The number of the played sample the microphone's next sample hears.
    std::int64_t heard_ = 0;
    bool listening_ = false;
};
