#pragma once

#include "platform/WaveStream.h"

#include <memory>
#include <string>

// A source of wave devices: PortAudio for real sound cards, or the virtual device
// for machines without one. Device ids count from 0 per direction; -1 is the
// default device.
class WaveBackend {
public:
    static constexpr int DefaultDevice = -1;
    // The most blocks ORVSIP_PLAYBACK_BLOCKS may ask to keep ahead of a speaker.
    static constexpr int MaxBlocksAhead = 100;

    virtual ~WaveBackend() = default;
    virtual std::string Name() const = 0;
    virtual int DeviceCount(WaveDirection direction) = 0;
    // Empty when `id` names no device.
    virtual std::string DeviceName(WaveDirection direction, int id) = 0;
    // nullptr when the device cannot be opened as 8000 Hz 16-bit mono.
    virtual std::unique_ptr<WaveTransport> OpenTransport(WaveDirection direction, int id) = 0;

    // An open stream on the device, not yet started; nullptr on failure. A playback
    // stream keeps the blocks ahead its device needs, or as many as
    // ORVSIP_PLAYBACK_BLOCKS says (1..MaxBlocksAhead).
    std::unique_ptr<WaveStream> Open(WaveDirection direction, int id, WaveCallback callback);
    // The blocks ahead ORVSIP_PLAYBACK_BLOCKS's text asks for; 0 (the device's own
    // need) when it is unset or not a whole number in range.
    static int BlocksAheadChosen(const char* text);
    // What moves the streams of devices without a pace of their own; nullptr when
    // every device keeps its own pace.
    virtual DevicePacer* Pacer() { return nullptr; }

    // The back end of this process, chosen on first use from ORVSIP_AUDIO.
    static WaveBackend& Current();
    // "portaudio" or "virtual"; anything else (or null) takes PortAudio when it
    // finds a device and the virtual device otherwise.
    static std::unique_ptr<WaveBackend> Select(const char* choice);
};
