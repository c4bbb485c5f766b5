#pragma once

#include "platform/RealTimePacer.h"
#include "platform/WaveTransport.h"

#include <vector>

// Capture from a loop of samples (silence when empty), one block per 10 ms.
class VirtualMicrophone : public WaveTransport {
public:
    explicit VirtualMicrophone(std::vector<std::int16_t> loop) : loop_(std::move(loop)) {}

    bool Start() override;
    std::size_t Transfer(std::span<std::int16_t> samples) override;

private:
    std::int16_t NextSample();

    std::vector<std::int16_t> loop_;
    std::size_t position_ = 0;
    RealTimePacer pacer_{std::chrono::milliseconds(10)};
};
