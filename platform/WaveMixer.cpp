#include "platform/WaveMixer.h"

#include <algorithm>

namespace {

WaveMixer::Line PlaybackLines()
{
    return {WaveMixer::Component::SpeakersDestination,
            {{WaveMixer::ControlType::Volume, "Speaker Volume"}},
            {{WaveMixer::Component::WaveOutSource, {{WaveMixer::ControlType::Volume, "Wave Volume"}}, {}}}};
}

WaveMixer::Line CaptureLines()
{
    return {WaveMixer::Component::WaveInDestination,
            {{WaveMixer::ControlType::Volume, "Recording Volume"}},
            {{WaveMixer::Component::MicrophoneSource,
              {{WaveMixer::ControlType::Volume, "Microphone Volume"},
               {WaveMixer::ControlType::OnOff, "Mic Boost (+20dB)"}},
              {}}}};
}

} // namespace

WaveMixer::WaveMixer(WaveStream& stream)
    : stream_(stream),
      destinations_{stream.Direction() == WaveDirection::Playback ? PlaybackLines() : CaptureLines()}
{
}

// Every volume of a stream's mixer drives the stream's one software volume.
std::uint32_t WaveMixer::Value(const Control& control) const
{
    if (control.type == ControlType::OnOff)
        return stream_.Boost() ? 1 : 0;
    return stream_.Volume();
}

void WaveMixer::SetValue(const Control& control, std::uint32_t value)
{
    if (control.type == ControlType::OnOff)
        stream_.SetBoost(value != 0);
    else
        stream_.SetVolume(std::min(value, WaveStream::FullVolume));
}
