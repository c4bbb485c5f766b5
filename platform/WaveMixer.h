#pragma once

#include "platform/WaveStream.h"

#include <cstdint>
#include <string>
#include <vector>

// The software controls of one open stream, laid out as a sound card mixer:
// destination lines with their source lines, each with named controls. A
// playback stream has a Speakers destination with a volume; a capture stream has
// a Wave In destination with a volume and a Microphone source with a volume and a
// "Mic Boost (+20dB)" switch. Volumes run 0..65535, switches 0..1.
class WaveMixer {
public:
    enum class Component { SpeakersDestination, WaveOutSource, WaveInDestination, MicrophoneSource };
    enum class ControlType { Volume, OnOff };

    struct Control {
        ControlType type;
        std::string name;
    };
    struct Line {
        Component component;
        std::vector<Control> controls;
        std::vector<Line> sources;
    };

    // Opens the mixer of `stream`, which must outlive it.
    explicit WaveMixer(WaveStream& stream);

    const std::vector<Line>& Destinations() const { return destinations_; }
    std::uint32_t Value(const Control& control) const;
    void SetValue(const Control& control, std::uint32_t value);

private:
    WaveStream& stream_;
    std::vector<Line> destinations_;
};
