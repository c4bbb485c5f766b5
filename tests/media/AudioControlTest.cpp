#include "AudioTestSupport.h"
#include "media/AudioControl.h"
#include "media/AudioDevice.h"
#include "media/MediaError.h"

#include <gtest/gtest.h>

TEST(AudioControl, WithoutASoundDevice)
{
    AudioControl control(nullptr);
    EXPECT_EQ(control.MuteMicrophone(true), MediaOk);
    EXPECT_EQ(control.MuteSpeaker(true), MediaOk);
    int volume = 5;
    EXPECT_EQ(control.GetMicrophoneVolume(volume), MediaNoCapture);
    EXPECT_EQ(volume, -1);
    EXPECT_EQ(control.SetMicrophoneVolume(1), MediaNoCapture);
    volume = 5;
    EXPECT_EQ(control.GetSpeakerVolume(volume), MediaNoPlayback);
    EXPECT_EQ(volume, -1);
    EXPECT_EQ(control.SetSpeakerVolume(1), MediaNoPlayback);
    bool enabled = true;
    EXPECT_EQ(control.EnableMicrophoneBoost(), MediaNoCapture);
    EXPECT_EQ(control.DisableMicrophoneBoost(), MediaNoCapture);
    EXPECT_EQ(control.IsMicrophoneBoostEnabled(enabled), MediaNoCapture);
    EXPECT_FALSE(enabled);
    EXPECT_EQ(control.EnableAgc(8000.0f), 55);
    EXPECT_EQ(control.DisableAgc(), 55);
    EXPECT_EQ(control.EnableEchoNoiseCancellation(), 55);
    EXPECT_EQ(control.DisableEchoNoiseCancellation(), 55);
    EXPECT_EQ(control.MicrophoneLevel(), 0);
    EXPECT_EQ(control.SpeakerLevel(), 0);
}

TEST(AudioControl, SteersTheDevice)
{
    RecordingOwner owner;
    VirtualWaveBackend backend;
    AudioDevice device(owner, backend);
    AudioControl control(&device);
    EXPECT_EQ(control.EnableAgc(0.0f), MediaOk);
    EXPECT_TRUE(device.EchoGain().AgcEnabled());
    EXPECT_FLOAT_EQ(device.EchoGain().PreprocessorAgcLevel(), 1.0f);
    EXPECT_EQ(control.DisableAgc(), MediaOk);
    EXPECT_FALSE(device.EchoGain().AgcEnabled());
    EXPECT_EQ(control.DisableEchoNoiseCancellation(), MediaOk);
    EXPECT_FALSE(device.EchoGain().EchoNoiseEnabled());
    EXPECT_EQ(control.EnableEchoNoiseCancellation(), MediaOk);
    EXPECT_TRUE(device.EchoGain().EchoNoiseEnabled());

    device.EchoGain().WriteReference(std::array<std::int16_t, 80>{});
    EXPECT_EQ(control.MuteMicrophone(true), MediaOk);
    EXPECT_TRUE(device.MicrophoneMuted());
    EXPECT_EQ(device.EchoGain().ReferenceBytes(), 0u) << "muting resets the echo reference";
    EXPECT_EQ(control.MuteSpeaker(true), MediaOk);
    EXPECT_TRUE(device.SpeakerMuted());

    bool enabled = true;
    ASSERT_EQ(device.OpenCapture(0), MediaOk);
    EXPECT_FALSE(device.MicrophoneMuted()) << "opening the microphone unmutes it";
    EXPECT_EQ(control.IsMicrophoneBoostEnabled(enabled), MediaOk);
    EXPECT_FALSE(enabled);
    EXPECT_EQ(control.EnableMicrophoneBoost(), MediaOk);
    EXPECT_EQ(control.IsMicrophoneBoostEnabled(enabled), MediaOk);
    EXPECT_TRUE(enabled);
}

TEST(AudioControl, DeviceCountsAndNames)
{
    VirtualWaveBackend backend;
    EXPECT_EQ(AudioControl::InputDeviceTotal(backend), 1);
    EXPECT_EQ(AudioControl::OutputDeviceTotal(backend), 1);
    EXPECT_EQ(AudioControl::InputDeviceName(backend, 0), "Virtual Microphone");
    EXPECT_EQ(AudioControl::OutputDeviceName(backend, 0), "Virtual Speaker");
    EXPECT_EQ(AudioControl::InputDeviceName(backend, 1), "");
    EXPECT_EQ(AudioControl::OutputDeviceName(backend, -2), "");
}
