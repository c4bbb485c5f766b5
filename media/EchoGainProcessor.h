#pragma once

#include "media/BlockFifo.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>

struct SpeexEchoState_;
struct SpeexPreprocessState_;

// Cleans microphone blocks before they are sent: the speexdsp echo canceller
// (80-sample frames, 640-sample tail) against what the speaker played, then the
// preprocessor's noise suppression and, when enabled, automatic gain control.
// The canceller keeps what it learnt until the microphone is opened or muted or
// cancellation is switched on again; it needs far more than a few blocks to
// converge, so it is never reset on a timer.
// Thread-safe: the capture thread processes, the playback thread feeds the
// reference, the host steers.
class EchoGainProcessor {
public:
    static constexpr int SampleRate = 8000;
    static constexpr int FrameSamples = 80;
    static constexpr int TailSamples = 640;
    static constexpr float DefaultAgcLevel = 8000.0f;
    static constexpr float MinAgcLevel = 1.0f;
    static constexpr float MaxAgcLevel = 32768.0f;

    using Block = std::span<std::int16_t, FrameSamples>;
    using ConstBlock = std::span<const std::int16_t, FrameSamples>;

    EchoGainProcessor();
    ~EchoGainProcessor();
    EchoGainProcessor(const EchoGainProcessor&) = delete;
    EchoGainProcessor& operator=(const EchoGainProcessor&) = delete;

    // Processes one microphone block in place.
    void Process(Block block);
    // Queues a block the speaker played as the echo reference.
    void WriteReference(ConstBlock block);
    // Forgets the reference and what the canceller has learnt.
    void ResetEcho();

    void EnableEchoNoiseCancellation();
    void DisableEchoNoiseCancellation();
    void EnableAgc(float level);
    void DisableAgc();

    bool EchoNoiseEnabled() const { return echoNoiseEnabled_; }
    bool AgcEnabled() const { return agcEnabled_; }
    // The level the preprocessor's gain control aims at.
    float PreprocessorAgcLevel();
    std::size_t ReferenceBytes();

private:
    static float ClampedAgcLevel(float level);
    void ApplyAgcLocked(bool enabled, float level);
    void ResetEchoLocked();

    std::mutex mutex_;
    SpeexEchoState_* echo_;
    SpeexPreprocessState_* preprocess_;
    BlockFifo reference_;
    std::atomic<bool> echoNoiseEnabled_{true};
    std::atomic<bool> agcEnabled_{false};
    float agcLevel_ = DefaultAgcLevel;
};
