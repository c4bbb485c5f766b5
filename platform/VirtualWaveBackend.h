#pragma once

#include "platform/WaveBackend.h"

// One virtual microphone and one virtual speaker, each paced at 10 ms per block by
// the real-time clock. The microphone plays the file named by ORVSIP_VIRTUAL_MIC in
// a loop (silence when unset); the speaker writes to the WAV file named by
// ORVSIP_VIRTUAL_SPEAKER (discards when unset). The variables are read when a
// stream is opened.
class VirtualWaveBackend : public WaveBackend {
public:
    std::string Name() const override { return "virtual"; }
    int DeviceCount(WaveDirection) override { return 1; }
    std::string DeviceName(WaveDirection direction, int id) override;
    std::unique_ptr<WaveTransport> OpenTransport(WaveDirection direction, int id) override;
};
