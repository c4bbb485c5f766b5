#include "platform/PortAudioBackend.h"

#include "platform/PortAudioTransport.h"
#include "platform/SoundLibraryMessages.h"

#include <portaudio.h>

#include <cstdlib>

namespace {

// Pa_Initialize probes every back end: the libraries' messages are quieted first,
// and looking for a JACK server must not start one.
bool InitializeQuietly()
{
    SoundLibraryMessages::Configure();
    setenv("JACK_NO_START_SERVER", "1", 0);
    return Pa_Initialize() == paNoError;
}

} // namespace

PortAudioBackend::PortAudioBackend() : initialised_(InitializeQuietly())
{
    if (!initialised_)
        return;
    for (int index = 0; index < Pa_GetDeviceCount(); ++index) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
        if (info != nullptr && info->maxInputChannels > 0)
            inputs_.push_back(index);
        if (info != nullptr && info->maxOutputChannels > 0)
            outputs_.push_back(index);
    }
}

PortAudioBackend::~PortAudioBackend()
{
    if (initialised_)
        Pa_Terminate();
}

const std::vector<int>& PortAudioBackend::Devices(WaveDirection direction) const
{
    return direction == WaveDirection::Capture ? inputs_ : outputs_;
}

int PortAudioBackend::DeviceCount(WaveDirection direction)
{
    return static_cast<int>(Devices(direction).size());
}

int PortAudioBackend::DeviceIndex(WaveDirection direction, int id) const
{
    if (id == DefaultDevice && initialised_)
        return direction == WaveDirection::Capture ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice();
    const auto& devices = Devices(direction);
    if (id < 0 || id >= static_cast<int>(devices.size()))
        return paNoDevice;
    return devices[static_cast<std::size_t>(id)];
}

std::string PortAudioBackend::DeviceName(WaveDirection direction, int id)
{
    const int index = DeviceIndex(direction, id);
    const PaDeviceInfo* info = index != paNoDevice ? Pa_GetDeviceInfo(index) : nullptr;
    return info != nullptr && info->name != nullptr ? info->name : "";
}

std::unique_ptr<WaveTransport> PortAudioBackend::OpenTransport(WaveDirection direction, int id)
{
    const int index = DeviceIndex(direction, id);
    if (index == paNoDevice)
        return nullptr;
    return PortAudioTransport::Open(direction, index);
}
