#pragma once

#include "platform/WaveStream.h"
#include "platform/WaveTransport.h"

#include <memory>

// One blocking PortAudio stream of 8000 Hz 16-bit mono in 80-frame blocks.
class PortAudioTransport : public WaveTransport {
public:
    // nullptr when the device refuses the format.
    static std::unique_ptr<PortAudioTransport> Open(WaveDirection direction, int deviceIndex);
    ~PortAudioTransport() override;
    PortAudioTransport(const PortAudioTransport&) = delete;
    PortAudioTransport& operator=(const PortAudioTransport&) = delete;

    bool Start() override;
    std::size_t Transfer(std::span<std::int16_t> samples) override;
    // The device's low output latency in whole blocks, at least MinBlocksAhead.
    int BlocksAhead() const override { return blocksAhead_; }

    static constexpr int MinBlocksAhead = 4;
    // Whole 10 ms blocks covering `latencySeconds`, at least MinBlocksAhead.
    static int BlocksFor(double latencySeconds);

private:
    PortAudioTransport(WaveDirection direction, void* stream, int blocksAhead)
        : direction_(direction), stream_(stream), blocksAhead_(blocksAhead)
    {
    }

    const WaveDirection direction_;
    void* stream_;
    const int blocksAhead_;
    bool started_ = false;
};
