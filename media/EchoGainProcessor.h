#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>

struct SpeexEchoState_;
struct SpeexPreprocessState_;

// Cleans microphone blocks before they are sent: the speexdsp echo canceller
// (80-sample frames, 640-sample tail) against what the speaker played, then the
// preprocessor's noise suppression and, when enabled, automatic gain control.
// The canceller keeps what it learnt until the microphone is opened or muted or
// cancellation is switched on again; it needs far more than a few blocks to
// converge, so it is never reset on a timer.
// The reference is every block the speaker played, numbered as it was played; the
// microphone blocks are numbered as they come, and each meets the played block a
// fixed number ahead of it. Playing and capturing both move a block per 10 ms, so
// the two keep step even when one of their threads is held up for a while and then
// catches up; a queue that hands over the oldest block would slip a block further
// behind each time the microphone came first. The first microphone block after a
// reset meets the block played just before the newest one; every second the match
// is checked against how the two actually ran: when even the oldest match left
// newer blocks unused it moves forward, when most matches found their block not
// played yet it moves back.
// An echo of silence is silence: while every block played within the canceller's
// tail was silent, the canceller rests (it keeps what it learnt, and its view of
// the played signal, silence, stays true) and only the noise suppressor runs; it
// takes up again with the first block of sound.
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
    // A block the speaker has just played, as the echo reference.
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
    // Played blocks no microphone block has met yet, in bytes.
    std::size_t ReferenceBytes();
    // The block played last; none since the last reset.
    std::optional<std::array<std::int16_t, FrameSamples>> NewestReference();
    // Whether the last microphone block met only silence within the tail, so the
    // canceller rested.
    bool CancellerResting();

    // Played blocks kept for the microphone to meet (320 ms).
    static constexpr std::int64_t ReferenceBlocks = 32;
    // Microphone blocks between two checks of the match (1 s).
    static constexpr std::size_t CheckBlocks = 100;

private:
    using Samples = std::array<std::int16_t, FrameSamples>;

    void TakeReference(Samples& reference);
    // Counts the silent blocks met in a row; true when the canceller may rest.
    bool NoteSilence(const Samples& reference);
    void SetCancellerResting(bool resting);
    void CheckMatch(std::int64_t ahead);
    static float ClampedAgcLevel(float level);
    void ApplyAgcLocked(bool enabled, float level);
    void ResetEchoLocked();

    std::mutex mutex_;
    SpeexEchoState_* echo_;
    SpeexPreprocessState_* preprocess_;
    std::array<Samples, ReferenceBlocks> played_{};
    std::int64_t playedCount_ = 0;
    std::int64_t capturedCount_ = 0;
    // Played block number minus microphone block number of the blocks that meet.
    std::optional<std::int64_t> lag_;
    // Since the last check: by how many blocks the newest played one was ahead of
    // the one each microphone block met.
    std::array<std::int64_t, CheckBlocks> ahead_{};
    std::size_t checked_ = 0;
    // Silent reference blocks met in a row, and whether the canceller rests.
    std::int64_t silentBlocks_ = 0;
    bool resting_ = false;
    std::atomic<bool> echoNoiseEnabled_{true};
    std::atomic<bool> agcEnabled_{false};
    float agcLevel_ = DefaultAgcLevel;
};
