#include "media/AudioControl.h"

#include "media/AudioDevice.h"
#include "media/MediaError.h"

namespace {

// Echo and gain settings live with the sound device; without one they fail.
template <typename Action>
int WithEchoGain(AudioDevice* device, Action action)
{
    if (device == nullptr)
        return MediaNoCapture;
    action(device->EchoGain());
    return MediaOk;
}

} // namespace

int AudioControl::MuteMicrophone(bool mute)
{
    if (device_ != nullptr)
        device_->MuteMicrophone(mute);
    return MediaOk;
}

int AudioControl::MuteSpeaker(bool mute)
{
    if (device_ != nullptr)
        device_->MuteSpeaker(mute);
    return MediaOk;
}

int AudioControl::GetMicrophoneVolume(int& volume)
{
    volume = -1;
    return device_ != nullptr ? device_->GetMicrophoneVolume(volume) : MediaNoCapture;
}

int AudioControl::SetMicrophoneVolume(int volume)
{
    return device_ != nullptr ? device_->SetMicrophoneVolume(volume) : MediaNoCapture;
}

int AudioControl::GetSpeakerVolume(int& volume)
{
    volume = -1;
    return device_ != nullptr ? device_->GetSpeakerVolume(volume) : MediaNoPlayback;
}

int AudioControl::SetSpeakerVolume(int volume)
{
    return device_ != nullptr ? device_->SetSpeakerVolume(volume) : MediaNoPlayback;
}

int AudioControl::EnableMicrophoneBoost()
{
    return device_ != nullptr ? device_->SetMicrophoneBoost(true) : MediaNoCapture;
}

int AudioControl::DisableMicrophoneBoost()
{
    return device_ != nullptr ? device_->SetMicrophoneBoost(false) : MediaNoCapture;
}

int AudioControl::IsMicrophoneBoostEnabled(bool& enabled)
{
    enabled = false;
    return device_ != nullptr ? device_->GetMicrophoneBoost(enabled) : MediaNoCapture;
}

int AudioControl::EnableAgc(float level)
{
    return WithEchoGain(device_, [level](EchoGainProcessor& echoGain) { echoGain.EnableAgc(level); });
}

int AudioControl::DisableAgc()
{
    return WithEchoGain(device_, [](EchoGainProcessor& echoGain) { echoGain.DisableAgc(); });
}

int AudioControl::EnableEchoNoiseCancellation()
{
    return WithEchoGain(device_, [](EchoGainProcessor& echoGain) { echoGain.EnableEchoNoiseCancellation(); });
}

int AudioControl::DisableEchoNoiseCancellation()
{
    return WithEchoGain(device_, [](EchoGainProcessor& echoGain) { echoGain.DisableEchoNoiseCancellation(); });
}

int AudioControl::MicrophoneLevel()
{
    return device_ != nullptr ? device_->MicrophoneLevel() : 0;
}

int AudioControl::SpeakerLevel()
{
    return device_ != nullptr ? device_->SpeakerLevel() : 0;
}

int AudioControl::InputDeviceTotal(WaveBackend& backend)
{
    return backend.DeviceCount(WaveDirection::Capture);
}

int AudioControl::OutputDeviceTotal(WaveBackend& backend)
{
    return backend.DeviceCount(WaveDirection::Playback);
}

std::string AudioControl::InputDeviceName(WaveBackend& backend, int id)
{
    return backend.DeviceName(WaveDirection::Capture, id);
}

std::string AudioControl::OutputDeviceName(WaveBackend& backend, int id)
{
    return backend.DeviceName(WaveDirection::Playback, id);
}
