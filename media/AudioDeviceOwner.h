#pragma once

#include <cstdint>
#include <span>

// What the audio device asks of the media engine, from the wave-device threads.
class AudioDeviceOwner {
public:
    static constexpr std::size_t BlockSamples = 80;

    virtual ~AudioDeviceOwner() = default;
    // Every 10 ms block the running capture stream moves, before its block is
    // handed on (a block the device failed to fill counts too): the beat of the
    // microphone, for the owner's own 10 ms work.
    virtual void OnCaptureTick() {}
    // One cleaned 10 ms microphone block for every line's sending path.
    virtual void OnMicrophoneBlock(std::span<const std::int16_t, BlockSamples> block) = 0;
    // Mixes one 10 ms speaker block from all lines into `block` (zeroed on entry);
    // false when no line had audio.
    virtual bool OnSpeakerBlock(std::span<std::int16_t, BlockSamples> block) = 0;
};
