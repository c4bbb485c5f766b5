#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// What moves samples between a wave stream and a device: one 10 ms block per
// call, at the device's pace.
class WaveTransport {
public:
    virtual ~WaveTransport() = default;
    virtual bool Start() = 0;
    // Capture fills `samples`, playback consumes them. Blocks until the device
    // has room or data; returns the samples moved.
    virtual std::size_t Transfer(std::span<std::int16_t> samples) = 0;
    // Blocks to keep queued ahead of a playback device so that it never waits for
    // one: a single block for a device that takes each one just when it is due.
    virtual int BlocksAhead() const { return 1; }
};
