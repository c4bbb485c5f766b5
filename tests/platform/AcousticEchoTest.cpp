#include "platform/AcousticEcho.h"
#include "platform/VirtualWaveBackend.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

using Samples = std::vector<std::int16_t>;

Samples Ramp(std::size_t count, int first)
{
    Samples samples(count);
    for (std::size_t n = 0; n < count; ++n)
        samples[n] = static_cast<std::int16_t>(first + static_cast<int>(n) * 10);
    return samples;
}

// One 10 ms tick of the device clock: the microphone gives the block it captured
// in the last 10 ms, then the speaker takes the block for the next 10 ms.
Samples Round(AcousticEcho& echo, const Samples& played, std::int16_t spoken = 0)
{
    Samples captured(80, spoken);
    echo.AddTo(captured);
    echo.Play(played);
    return captured;
}

} // namespace

TEST(AcousticEcho, ParsesDelayAndAttenuation)
{
    auto echo = AcousticEcho::Parse("30,10");
    ASSERT_NE(echo, nullptr);
    EXPECT_EQ(echo->DelayMs(), 30);
    EXPECT_DOUBLE_EQ(echo->AttenuationDb(), 10.0);
    EXPECT_NE(AcousticEcho::Parse("0,0"), nullptr);
    EXPECT_NE(AcousticEcho::Parse("500,100"), nullptr);
    for (const char* bad : {"", "30", "30,", ",10", "30;10", "30,10x", "-1,10", "501,10", "30,-1", "30,101",
                            "30,nan", "99999999999999999999,1"})
        EXPECT_EQ(AcousticEcho::Parse(bad), nullptr) << bad;
}

TEST(AcousticEcho, TheMicrophoneHearsThePlayedSignalDelayedAndAttenuated)
{
    // 20 ms of air (160 samples) after the 10 ms the block plays in; a tenth of the amplitude.
    AcousticEcho echo(20, 20.0);
    echo.StartListening();
    echo.StartPlaying();
    const Samples played = Ramp(800, 1000);
    Samples heard;
    for (std::size_t block = 0; block < 10; ++block) {
        const Samples slice(played.begin() + static_cast<std::ptrdiff_t>(block * 80),
                            played.begin() + static_cast<std::ptrdiff_t>(block * 80 + 80));
        const Samples captured = Round(echo, slice, 5);
        heard.insert(heard.end(), captured.begin(), captured.end());
    }
    for (std::size_t n = 0; n < 240; ++n)
        ASSERT_EQ(heard[n], 5) << n;
    for (std::size_t n = 240; n < heard.size(); ++n)
        ASSERT_NEAR(heard[n], 5 + played[n - 240] / 10.0, 0.5) << n;
}

TEST(AcousticEcho, OnlyAListeningMicrophoneHearsAndItHearsWhatWasPlayedTheDelayBefore)
{
    AcousticEcho echo(10, 0.0);
    echo.StartPlaying();
    for (int round = 0; round < 100; ++round)
        echo.Play(Ramp(80, round));
    Samples captured(80, 0);
    echo.AddTo(captured);
    EXPECT_EQ(captured, Samples(80, 0));

    echo.StartListening();
    EXPECT_EQ(Round(echo, Ramp(80, 500)), Ramp(80, 98)) << "handed over 20 ms before: played for 10, in the air 10";
    EXPECT_EQ(Round(echo, Ramp(80, 600)), Ramp(80, 99));
    EXPECT_EQ(Round(echo, Ramp(80, 650)), Ramp(80, 500));
    echo.StopListening();
    EXPECT_EQ(Round(echo, Ramp(80, 700)), Samples(80, 0));
}

TEST(AcousticEcho, DevicesHeldUpAndCatchingUpKeepTheirCount)
{
    AcousticEcho echo(10, 0.0);
    echo.StartListening();
    echo.StartPlaying();
    // The microphone is held up for 100 ms, then catches up.
    for (int block = 0; block < 10; ++block)
        echo.Play(Ramp(80, 100 * block));
    for (int block = 0; block < 10; ++block) {
        Samples captured(80, 0);
        echo.AddTo(captured);
        EXPECT_EQ(captured, block < 2 ? Samples(80, 0) : Ramp(80, 100 * (block - 2))) << block;
    }
    // The speaker is held up for 30 ms: the microphone hears nothing then, and the
    // blocks played late are not heard later; what follows keeps the count.
    Samples captured(80, 0);
    echo.AddTo(captured);
    EXPECT_EQ(captured, Ramp(80, 800));
    captured.assign(80, 0);
    echo.AddTo(captured);
    EXPECT_EQ(captured, Ramp(80, 900));
    for (int block = 0; block < 3; ++block) {
        captured.assign(80, 0);
        echo.AddTo(captured);
        EXPECT_EQ(captured, Samples(80, 0)) << block;
    }
    for (int block = 10; block < 15; ++block)
        echo.Play(Ramp(80, 100 * block));
    captured.assign(80, 0);
    echo.AddTo(captured);
    EXPECT_EQ(captured, Ramp(80, 1300));
}

TEST(AcousticEcho, TheVirtualDevicesShareTheEchoOfTheVariableAndRefuseAMalformedOne)
{
    VirtualWaveBackend backend;
    setenv("ORVSIP_VIRTUAL_ECHO", "30,tenDb", 1);
    EXPECT_EQ(backend.OpenTransport(WaveDirection::Capture, 0), nullptr);
    EXPECT_EQ(backend.OpenTransport(WaveDirection::Playback, 0), nullptr);

    setenv("ORVSIP_VIRTUAL_ECHO", "0,0", 1);
    auto microphone = backend.OpenTransport(WaveDirection::Capture, 0);
    auto speaker = backend.OpenTransport(WaveDirection::Playback, 0);
    unsetenv("ORVSIP_VIRTUAL_ECHO");
    ASSERT_NE(microphone, nullptr);
    ASSERT_NE(speaker, nullptr);
    ASSERT_TRUE(microphone->Start());
    ASSERT_TRUE(speaker->Start());
    // With no delay, what the speaker plays in one tick is in the microphone's next block.
    Samples captured(80, 0);
    microphone->Transfer(captured);
    EXPECT_EQ(captured, Samples(80, 0));
    Samples played(80, 1234);
    speaker->Transfer(played);
    microphone->Transfer(captured);
    EXPECT_EQ(captured, played);
}
