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

private:
    PortAudioTransport(WaveDirection direction, void* stream) : direction_(direction), stream_(stream) {}

    const WaveDirection direction_;
    void* stream_;
    bool started_ = false;
};
