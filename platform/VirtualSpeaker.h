#pragma once

#include "platform/AcousticEcho.h"
#include "platform/WavSink.h"
#include "platform/WaveTransport.h"

#include <memory>

// Playback into a WAV file (or nowhere when there is none), and into the air
// towards the virtual microphone when there is an echo. It has no pace of its own:
// the backend's pacer hands it a block every 10 ms.
class VirtualSpeaker : public WaveTransport {
public:
    explicit VirtualSpeaker(std::unique_ptr<WavSink> sink, std::shared_ptr<AcousticEcho> echo = nullptr)
        : sink_(std::move(sink)), echo_(std::move(echo))
    {
    }

    bool Start() override;
    std::size_t Transfer(std::span<std::int16_t> samples) override;

private:
    std::unique_ptr<WavSink> sink_;
    std::shared_ptr<AcousticEcho> echo_;
};
