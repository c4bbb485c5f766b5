#pragma once

#include "platform/WaveStream.h"

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

class WaveBackend;

// The key tone the local user hears for a DTMF digit: 100 ms of the digit's two
// tones at the DTMF volume, then silence. It is mixed into the speaker while a call
// plays through the sound device; otherwise it plays on a stream of its own on the
// default output device, closed again after a quiet second.
class LocalTonePlayer {
public:
    static constexpr int MaxVolume = 25;
    static constexpr std::size_t ToneSamples = 800;
    static constexpr std::size_t BlockSamples = 80;

    explicit LocalTonePlayer(WaveBackend& backend);
    ~LocalTonePlayer();
    LocalTonePlayer(const LocalTonePlayer&) = delete;
    LocalTonePlayer& operator=(const LocalTonePlayer&) = delete;

    int Volume() const { return volume_; }
    // Limited to 0..25.
    void SetVolume(int volume);
    // mixIntoSpeaker: a call's speaker stream is playing and will take the tone.
    void Play(int code, bool mixIntoSpeaker);
    // Adds pending tone to a speaker block; true when there was some.
    bool MixInto(std::span<std::int16_t, BlockSamples> block);
    // Once a second: closes the own stream when nothing was played since the last check.
    void CheckIdle();
    // Whether CheckIdle has something to do: a digit played since the last check,
    // or the own stream open.
    bool NeedsChecks() const { return playedSinceCheck_ || stream_ != nullptr; }
    void Stop();

private:
    void PlayOnOwnStream(const std::vector<std::int16_t>& tone);
    void OnNotice(WaveNotice notice, WaveBlock* block);

    WaveBackend& backend_;
    int volume_ = MaxVolume;
    std::mutex mutex_;
    std::deque<std::int16_t> pendingMix_;
    std::unique_ptr<WaveStream> stream_;
    std::array<std::array<std::int16_t, BlockSamples>, ToneSamples / BlockSamples> blocks_{};
    std::array<WaveBlock, ToneSamples / BlockSamples> waveBlocks_{};
    bool playedSinceCheck_ = false;
};
