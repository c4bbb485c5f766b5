#pragma once

#include <string>

class AudioDevice;
class WaveBackend;

// The host's sound controls over the engine's AudioDevice, which is null when the
// engine runs without a sound device. Results are MediaError codes (0 = done);
// MediaNoBoostControl fails the call without a new error code.
class AudioControl {
public:
    explicit AudioControl(AudioDevice* device) : device_(device) {}

    // Both succeed (doing nothing) without a device.
    int MuteMicrophone(bool mute);
    int MuteSpeaker(bool mute);

    // Volumes 0..255; `volume` is -1 on failure.
    int GetMicrophoneVolume(int& volume);
    int SetMicrophoneVolume(int volume);
    int GetSpeakerVolume(int& volume);
    int SetSpeakerVolume(int volume);

    int EnableMicrophoneBoost();
    int DisableMicrophoneBoost();
    int IsMicrophoneBoostEnabled(bool& enabled);

    int EnableAgc(float level);
    int DisableAgc();
    int EnableEchoNoiseCancellation();
    int DisableEchoNoiseCancellation();

    // 0..100; 0 without a device.
    int MicrophoneLevel();
    int SpeakerLevel();

    static int InputDeviceTotal(WaveBackend& backend);
    static int OutputDeviceTotal(WaveBackend& backend);
    // Empty when `id` names no device.
    static std::string InputDeviceName(WaveBackend& backend, int id);
    static std::string OutputDeviceName(WaveBackend& backend, int id);

private:
    AudioDevice* device_;
};
