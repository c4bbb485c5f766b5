#pragma once

#include "platform/AcousticEcho.h"
#include "platform/DevicePacer.h"
#include "platform/WaveBackend.h"

#include <memory>
#include <mutex>

// One virtual microphone and one virtual speaker, moved at 10 ms per block by one
// pacer on the real-time clock. The microphone plays the file named by ORVSIP_VIRTUAL_MIC in
// a loop (silence when unset); the speaker writes to the WAV file named by
// ORVSIP_VIRTUAL_SPEAKER (discards when unset). ORVSIP_VIRTUAL_ECHO
// ("DELAY_MS,ATTENUATION_DB") lets the microphone hear what the speaker plays, as
// an acoustic echo; a value of another shape makes both devices fail to open. The
// variables are read when a stream is opened.
class VirtualWaveBackend : public WaveBackend {
public:
    std::string Name() const override { return "virtual"; }
    int DeviceCount(WaveDirection) override { return 1; }
    std::string DeviceName(WaveDirection direction, int id) override;
    std::unique_ptr<WaveTransport> OpenTransport(WaveDirection direction, int id) override;
    DevicePacer* Pacer() override { return &pacer_; }

private:
    // The echo the two devices share; false when the variable is malformed.
    bool CurrentEcho(std::shared_ptr<AcousticEcho>& echo);

    std::mutex echoMutex_;
    std::shared_ptr<AcousticEcho> echo_;
    DevicePacer pacer_;
};
