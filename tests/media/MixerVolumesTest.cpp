#include "media/MixerVolumes.h"

#include <gtest/gtest.h>

namespace {

class IdleTransport : public WaveTransport {
public:
    bool Start() override { return true; }
    std::size_t Transfer(std::span<std::int16_t> samples) override { return samples.size(); }
};

struct Stream {
    WaveStream stream;
    explicit Stream(WaveDirection direction)
        : stream(direction, std::make_unique<IdleTransport>(), [](WaveNotice, WaveBlock*) {})
    {
    }
};

} // namespace

TEST(MixerVolumes, SpeakerVolumeIsLimitedTo255Steps)
{
    Stream playback(WaveDirection::Playback);
    ASSERT_TRUE(MixerVolumes::SetSpeakerVolume(playback.stream, 300));
    EXPECT_EQ(playback.stream.Volume(), 255u * 256);
    ASSERT_TRUE(MixerVolumes::SetSpeakerVolume(playback.stream, 10));
    EXPECT_EQ(playback.stream.Volume(), 10u * 256);
    ASSERT_TRUE(MixerVolumes::SetSpeakerVolume(playback.stream, -1));
    EXPECT_EQ(playback.stream.Volume(), 255u * 256);
    EXPECT_EQ(MixerVolumes::SpeakerVolume(playback.stream), 255);
}

TEST(MixerVolumes, MicrophoneVolumeKeepsTheLowEightBits)
{
    Stream capture(WaveDirection::Capture);
    ASSERT_TRUE(MixerVolumes::SetMicrophoneVolume(capture.stream, 300));
    EXPECT_EQ(capture.stream.Volume(), 44u * 256);
    EXPECT_EQ(MixerVolumes::MicrophoneVolume(capture.stream), 44);
}

TEST(MixerVolumes, BoostIsTheMicrophonesBoostSwitch)
{
    Stream capture(WaveDirection::Capture);
    EXPECT_EQ(MixerVolumes::MicrophoneBoost(capture.stream), false);
    ASSERT_TRUE(MixerVolumes::SetMicrophoneBoost(capture.stream, true));
    EXPECT_TRUE(capture.stream.Boost());
    EXPECT_EQ(MixerVolumes::MicrophoneBoost(capture.stream), true);
}

TEST(MixerVolumes, PlaybackStreamsHaveNoMicrophoneControls)
{
    Stream playback(WaveDirection::Playback);
    EXPECT_FALSE(MixerVolumes::SetMicrophoneBoost(playback.stream, true));
    EXPECT_EQ(MixerVolumes::MicrophoneBoost(playback.stream), std::nullopt);
    EXPECT_FALSE(MixerVolumes::SetMicrophoneVolume(playback.stream, 3));
    Stream capture(WaveDirection::Capture);
    EXPECT_EQ(MixerVolumes::SpeakerVolume(capture.stream), std::nullopt);
}
