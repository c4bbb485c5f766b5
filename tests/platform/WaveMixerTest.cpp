#include "platform/WaveMixer.h"

#include <gtest/gtest.h>

namespace {

class IdleTransport : public WaveTransport {
public:
    bool Start() override { return true; }
    std::size_t Transfer(std::span<std::int16_t> samples) override { return samples.size(); }
};


} // namespace

TEST(WaveMixer, PlaybackHasASpeakersVolume)
{
    WaveStream stream(WaveDirection::Playback, std::make_unique<IdleTransport>(), [](WaveNotice, WaveBlock*) {});
    WaveMixer mixer(stream);
    ASSERT_EQ(mixer.Destinations().size(), 1u);
    const auto& speakers = mixer.Destinations()[0];
    EXPECT_EQ(speakers.component, WaveMixer::Component::SpeakersDestination);
    ASSERT_EQ(speakers.controls.size(), 1u);
    EXPECT_EQ(mixer.Value(speakers.controls[0]), WaveStream::FullVolume);
    mixer.SetValue(speakers.controls[0], 255 * 256);
    EXPECT_EQ(stream.Volume(), 255u * 256);
    mixer.SetValue(speakers.controls[0], 1u << 20);
    EXPECT_EQ(stream.Volume(), WaveStream::FullVolume);
}

TEST(WaveMixer, CaptureHasAMicrophoneWithVolumeAndBoost)
{
    WaveStream stream(WaveDirection::Capture, std::make_unique<IdleTransport>(), [](WaveNotice, WaveBlock*) {});
    WaveMixer mixer(stream);
    const auto& waveIn = mixer.Destinations().at(0);
    EXPECT_EQ(waveIn.component, WaveMixer::Component::WaveInDestination);
    const auto& microphone = waveIn.sources.at(0);
    EXPECT_EQ(microphone.component, WaveMixer::Component::MicrophoneSource);
    ASSERT_EQ(microphone.controls.size(), 2u);
    EXPECT_EQ(microphone.controls[1].type, WaveMixer::ControlType::OnOff);
    EXPECT_EQ(microphone.controls[1].name, "Mic Boost (+20dB)");
    mixer.SetValue(microphone.controls[1], 1);
    EXPECT_TRUE(stream.Boost());
    EXPECT_EQ(mixer.Value(microphone.controls[1]), 1u);
    mixer.SetValue(microphone.controls[0], 44 * 256);
    EXPECT_EQ(stream.Volume(), 44u * 256);
}
