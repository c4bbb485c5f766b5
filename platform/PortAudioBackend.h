#pragma once

#include "platform/WaveBackend.h"

#include <vector>

// Sound cards through PortAudio, in blocking mode: each stream's own thread reads
// or writes 80 frames at a time at 8000 Hz 16-bit mono.
class PortAudioBackend : public WaveBackend {
public:
    PortAudioBackend();
    ~PortAudioBackend() override;
    PortAudioBackend(const PortAudioBackend&) = delete;
    PortAudioBackend& operator=(const PortAudioBackend&) = delete;

    bool HasDevices() const { return !inputs_.empty() || !outputs_.empty(); }
    std::string Name() const override { return "portaudio"; }
    int DeviceCount(WaveDirection direction) override;
    std::string DeviceName(WaveDirection direction, int id) override;
    std::unique_ptr<WaveTransport> OpenTransport(WaveDirection direction, int id) override;

private:
    const std::vector<int>& Devices(WaveDirection direction) const;
    // The PortAudio index of our id, or -1.
    int DeviceIndex(WaveDirection direction, int id) const;

    bool initialised_ = false;
    std::vector<int> inputs_;
    std::vector<int> outputs_;
};
