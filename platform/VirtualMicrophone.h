#pragma once

#include "platform/AcousticEcho.h"
#include "platform/WaveTransport.h"

#include <memory>
#include <vector>

// Capture from a loop of samples (silence when empty), with the echo of the virtual
// speaker when there is one. It has no pace of its own: the backend's pacer asks
// for a block every 10 ms.
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
};
