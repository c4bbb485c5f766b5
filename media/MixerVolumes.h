#pragma once

#include "platform/WaveMixer.h"

#include <optional>

// How the audio device finds and drives the mixer controls of its streams.
// Volumes cross this interface as 0..255.
class MixerVolumes {
public:
    static std::optional<int> SpeakerVolume(WaveStream& playback);
    // `volume` is taken as unsigned and limited to 255, so -1 means loudest.
    static bool SetSpeakerVolume(WaveStream& playback, int volume);
    static std::optional<int> MicrophoneVolume(WaveStream& capture);
    // Only the low eight bits of `volume` count.
    static bool SetMicrophoneVolume(WaveStream& capture, int volume);
    // The microphone's boost switch; false when it has none.
    static bool SetMicrophoneBoost(WaveStream& capture, bool on);
    static std::optional<bool> MicrophoneBoost(WaveStream& capture);

private:
    using ControlFinder = std::optional<WaveMixer::Control> (*)(const WaveMixer&);

    static std::optional<int> ReadVolume(WaveStream& stream, ControlFinder find);
    static bool WriteVolume(WaveStream& stream, ControlFinder find, std::uint32_t steps);
    static std::optional<WaveMixer::Control> SpeakerVolumeControl(const WaveMixer& mixer);
    static std::optional<WaveMixer::Control> MicrophoneVolumeControl(const WaveMixer& mixer);
    static std::optional<WaveMixer::Control> BoostControl(const WaveMixer& mixer);
};
