#include "media/MixerVolumes.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace {

using Component = WaveMixer::Component;
using Control = WaveMixer::Control;
using Line = WaveMixer::Line;

constexpr std::uint32_t VolumeStep = 256;
constexpr std::uint32_t MaxVolume = 255;

const Line* FindDestination(const WaveMixer& mixer, Component component)
{
    for (const Line& line : mixer.Destinations()) {
        if (line.component == component)
            return &line;
    }
    return nullptr;
}

const Line* FindSource(const WaveMixer& mixer, Component component)
{
    for (const Line& destination : mixer.Destinations()) {
        for (const Line& source : destination.sources) {
            if (source.component == component)
                return &source;
        }
    }
    return nullptr;
}

std::optional<Control> VolumeOf(const Line* line)
{
    if (line == nullptr)
        return std::nullopt;
    for (const Control& control : line->controls) {
        if (control.type == WaveMixer::ControlType::Volume)
            return control;
    }
    return std::nullopt;
}

const Line* FirstMicrophone(const Line& waveIn, bool needsControls)
{
    for (const Line& source : waveIn.sources) {
        if (source.component == Component::MicrophoneSource && (!needsControls || !source.controls.empty()))
            return &source;
    }
    return nullptr;
}

bool IsBoostName(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name.find("gain") != std::string::npos || name.find("boost") != std::string::npos ||
           name.find("+20db") != std::string::npos || name.starts_with("agc") ||
           name.find(" agc ") != std::string::npos;
}

} // namespace

std::optional<Control> MixerVolumes::SpeakerVolumeControl(const WaveMixer& mixer)
{
    const Line* line = FindDestination(mixer, Component::SpeakersDestination);
    if (line == nullptr)
        line = FindSource(mixer, Component::WaveOutSource);
    return VolumeOf(line);
}

std::optional<Control> MixerVolumes::MicrophoneVolumeControl(const WaveMixer& mixer)
{
    const Line* waveIn = FindDestination(mixer, Component::WaveInDestination);
    if (waveIn == nullptr)
        return std::nullopt;
    const Line* microphone = FirstMicrophone(*waveIn, true);
    return VolumeOf(microphone != nullptr ? microphone : waveIn);
}

std::optional<Control> MixerVolumes::BoostControl(const WaveMixer& mixer)
{
    const Line* waveIn = FindDestination(mixer, Component::WaveInDestination);
    const Line* microphone = waveIn != nullptr ? FirstMicrophone(*waveIn, false) : nullptr;
    if (microphone == nullptr)
        return std::nullopt;
    for (const Control& control : microphone->controls) {
        if (IsBoostName(control.name))
            return control;
    }
    return std::nullopt;
}

std::optional<int> MixerVolumes::ReadVolume(WaveStream& stream, ControlFinder find)
{
    WaveMixer mixer(stream);
    const auto control = find(mixer);
    if (!control)
        return std::nullopt;
    return static_cast<int>(mixer.Value(*control) / VolumeStep);
}

bool MixerVolumes::WriteVolume(WaveStream& stream, ControlFinder find, std::uint32_t steps)
{
    WaveMixer mixer(stream);
    const auto control = find(mixer);
    if (!control)
        return false;
    mixer.SetValue(*control, steps * VolumeStep);
    return true;
}

std::optional<int> MixerVolumes::SpeakerVolume(WaveStream& playback)
{
    return ReadVolume(playback, SpeakerVolumeControl);
}

bool MixerVolumes::SetSpeakerVolume(WaveStream& playback, int volume)
{
    return WriteVolume(playback, SpeakerVolumeControl, std::min(static_cast<std::uint32_t>(volume), MaxVolume));
}

std::optional<int> MixerVolumes::MicrophoneVolume(WaveStream& capture)
{
    return ReadVolume(capture, MicrophoneVolumeControl);
}

bool MixerVolumes::SetMicrophoneVolume(WaveStream& capture, int volume)
{
    return WriteVolume(capture, MicrophoneVolumeControl, static_cast<std::uint32_t>(volume) & MaxVolume);
}

bool MixerVolumes::SetMicrophoneBoost(WaveStream& capture, bool on)
{
    WaveMixer mixer(capture);
    const auto control = BoostControl(mixer);
    if (!control)
        return false;
    mixer.SetValue(*control, on ? 1 : 0);
    return true;
}

std::optional<bool> MixerVolumes::MicrophoneBoost(WaveStream& capture)
{
    WaveMixer mixer(capture);
    const auto control = BoostControl(mixer);
    if (!control)
        return std::nullopt;
    return mixer.Value(*control) != 0;
}
