#pragma once

#include "platform/AcousticEcho.h"
#include "platform/RealTimePacer.h"
#include "platform/WaveTransport.h"

#include <memory>
#include <vector>

// Capture from a loop of samples (silence when empty), one block per 10 ms, with
// the echo of the virtual speaker when there is one.
class VirtualMicrophone : public WaveTransport {
public:
    explicit VirtualMicrophone(std::vector<std::int16_t> loop, std::shared_ptr<AcousticEcho> echo = nullptr)
        : loop_(std::move(loop)), echo_(std::move(echo))
    {
    }
    ~VirtualMicrophone() override;

    bool Start() override;
    std::size_t Transfer(std::span<std::int16_t> samples) override;

private:
    std::int16_t NextSample();

    std::vector<std::int16_t> loop_;
    std::shared_ptr<AcousticEcho> echo_;
    std::size_t position_ = 0;
    RealTimePacer pacer_{std::chrono::milliseconds(10)};
};
