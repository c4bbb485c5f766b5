#include "AudioTestSupport.h"
#include "media/AudioControl.h"
#include "media/AudioDevice.h"
#include "media/AudioError.h"

#include <gtest/gtest.h>

TEST(AudioControl, WithoutASoundDevice)
{
    AudioControl control(nullptr);
    EXPECT_EQ(control.MuteMicrophone(true), AudioOk);
    EXPECT_EQ(control.MuteSpeaker(true), AudioOk);
    int volume = 5;
    EXPECT_EQ(control.GetMicrophoneVolume(volume), AudioNoCapture);
    EXPECT_EQ(volume, -1);
    EXPECT_EQ(control.SetMicrophoneVolume(1), AudioNoCapture);
    volume = 5;
    EXPECT_EQ(control.GetSpeakerVolume(volume), AudioNoPlayback);
    EXPECT_EQ(volume, -1);
    EXPECT_EQ(control.SetSpeakerVolume(1), AudioNoPlayback);
    bool enabled = true;
    EXPECT_EQ(control.EnableMicrophoneBoost(), AudioNoCapture);
    EXPECT_EQ(control.DisableMicrophoneBoost(), AudioNoCapture);
    EXPECT_EQ(control.IsMicrophoneBoostEnabled(enabled), AudioNoCapture);
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
    EXPECT_EQ(control.EnableAgc(0.0f), AudioOk);
    EXPECT_TRUE(device.EchoGain().AgcEnabled());
    EXPECT_FLOAT_EQ(device.EchoGain().PreprocessorAgcLevel(), 1.0f);
    EXPECT_EQ(control.DisableAgc(), AudioOk);
    EXPECT_FALSE(device.EchoGain().AgcEnabled());
    EXPECT_EQ(control.DisableEchoNoiseCancellation(), AudioOk);
    EXPECT_FALSE(device.EchoGain().EchoNoiseEnabled());
    EXPECT_EQ(control.EnableEchoNoiseCancellation(), AudioOk);
    EXPECT_TRUE(device.EchoGain().EchoNoiseEnabled());

    device.EchoGain().WriteReference(std::array<std::int16_t, 80>{});
    EXPECT_EQ(control.MuteMicrophone(true), AudioOk);
    EXPECT_TRUE(device.MicrophoneMuted());
    EXPECT_EQ(device.EchoGain().ReferenceBytes(), 0u) << "muting resets the echo reference";
    EXPECT_EQ(control.MuteSpeaker(true), AudioOk);
    EXPECT_TRUE(device.SpeakerMuted());

    bool enabled = true;
    ASSERT_EQ(device.OpenCapture(0), AudioOk);
    EXPECT_FALSE(device.MicrophoneMuted()) << "opening the microphone unmutes it";
    EXPECT_EQ(control.IsMicrophoneBoostEnabled(enabled), AudioOk);
    EXPECT_FALSE(enabled);
    EXPECT_EQ(control.EnableMicrophoneBoost(), AudioOk);
    EXPECT_EQ(control.IsMicrophoneBoostEnabled(enabled), AudioOk);
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
