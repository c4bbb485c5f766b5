#pragma once

#include "platform/RealTimePacer.h"
#include "platform/WavSink.h"
#include "platform/WaveTransport.h"

#include <memory>

// Playback into a WAV file (or nowhere when there is none), one block per 10 ms.
class VirtualSpeaker : public WaveTransport {
public:
    explicit VirtualSpeaker(std::unique_ptr<WavSink> sink) : sink_(std::move(sink)) {}

    bool Start() override;
    std::size_t Transfer(std::span<std::int16_t> samples) override;

private:
    std::unique_ptr<WavSink> sink_;
    RealTimePacer pacer_{std::chrono::milliseconds(10)};
};
