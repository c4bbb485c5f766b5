#include "AudioTestSupport.h"
#include "SpeechSignal.h"
#include "media/AudioDevice.h"
#include "media/MediaError.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

int CountState(const std::vector<int>& states, int state)
{
    return static_cast<int>(std::count(states.begin(), states.end(), state));
}

std::vector<std::int16_t> Flatten(const std::vector<std::array<std::int16_t, 80>>& blocks)
{
    std::vector<std::int16_t> samples;
    for (const auto& block : blocks)
        samples.insert(samples.end(), block.begin(), block.end());
    return samples;
}

} // namespace

namespace {

// The virtual speaker, refusing the blocks it is handed from its 20th to its 40th,
// as a device that stalls: they come back unplayed and it runs out.
class StallingBackend : public VirtualWaveBackend {
public:
    std::unique_ptr<WaveTransport> OpenTransport(WaveDirection direction, int id) override
    {
        auto inner = VirtualWaveBackend::OpenTransport(direction, id);
        if (inner == nullptr || direction == WaveDirection::Capture)
            return inner;
        return std::make_unique<Stalling>(std::move(inner), transfers);
    }

    static constexpr int StallFrom = 20;
    static constexpr int StallUntil = 40;
    std::atomic<int> transfers{0};

private:
    class Stalling : public WaveTransport {
    public:
        Stalling(std::unique_ptr<WaveTransport> inner, std::atomic<int>& transfers)
            : inner_(std::move(inner)), transfers_(transfers)
        {
        }
        bool Start() override { return inner_->Start(); }
        std::size_t Transfer(std::span<std::int16_t> samples) override
        {
            const int count = transfers_++;
            const std::size_t moved = inner_->Transfer(samples);
            return count >= StallFrom && count < StallUntil ? 0 : moved;
        }

    private:
        std::unique_ptr<WaveTransport> inner_;
        std::atomic<int>& transfers_;
    };
};

// Watches a playback stream through a stall: the most blocks ever in flight.
int MostInFlightThroughAStall(AudioDevice& device, StallingBackend& backend)
{
    int most = 0;
    for (int tries = 0; tries < 3000 && backend.transfers < StallingBackend::StallUntil + 20; ++tries) {
        most = std::max(most, device.PlaybackBlocksInFlight());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return most;
}

// The blocks in flight once the stream's thread is between two blocks.
int SettledInFlight(AudioDevice& device)
{
    int last = -1;
    for (int tries = 0; tries < 50; ++tries) {
        const int now = device.PlaybackBlocksInFlight();
        if (now == last)
            return now;
        last = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return last;
}

} // namespace

TEST(AudioDevice, PlaybackKeepsItsDepthInFlightAndFillsUpToItAgainAfterAnUnderrun)
{
    for (const char* chosen : {"", "4"}) {
        ScopedEnvironment blocks("ORVSIP_PLAYBACK_BLOCKS", chosen);
        const int depth = *chosen != '\0' ? 4 : 1;
        RecordingOwner owner;
        owner.PlayToSpeaker(3000);
        StallingBackend backend;
        AudioDevice device(owner, backend);
        ASSERT_EQ(device.OpenPlayback(-1), MediaOk);
        EXPECT_NE(device.PlaybackHandle(), 0u);
        EXPECT_TRUE(device.PlaybackRunning());
        EXPECT_EQ(device.PlaybackDepth(), depth) << chosen;
        EXPECT_EQ(SettledInFlight(device), depth) << "primed";
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        EXPECT_EQ(SettledInFlight(device), depth);
        const int beforeStall = owner.SpeakerCalls();
        EXPECT_GT(beforeStall, 0);

        EXPECT_LE(MostInFlightThroughAStall(device, backend), depth);
        ASSERT_GE(backend.transfers, StallingBackend::StallUntil + 20);
        EXPECT_EQ(SettledInFlight(device), depth) << "filled up again, to the depth and no more";
        EXPECT_GT(owner.SpeakerCalls(), beforeStall + 20) << "the mixed audio plays on";
    }
}

TEST(AudioDevice, CloseHandsBackEveryBufferAndStopsTheCallbacks)
{
    RecordingOwner owner;
    VirtualWaveBackend backend;
    AudioDevice device(owner, backend);
    ASSERT_EQ(device.OpenCapture(0), MediaOk);
    ASSERT_EQ(device.OpenPlayback(0), MediaOk);
    ASSERT_TRUE(owner.WaitForMicrophoneBlocks(3));
    device.CloseCapture();
    device.ClosePlayback();
    EXPECT_EQ(device.CaptureHandle(), 0u);
    EXPECT_EQ(device.PlaybackHandle(), 0u);
    EXPECT_EQ(CountState(device.CaptureBufferStates(), AudioDevice::BufferFree), AudioDevice::CaptureBuffers);
    EXPECT_EQ(CountState(device.PlaybackBufferStates(), AudioDevice::BufferFree), AudioDevice::PlaybackBuffers);
    const std::size_t microphone = owner.MicrophoneCount();
    const int speaker = owner.SpeakerCalls();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(owner.MicrophoneCount(), microphone);
    EXPECT_EQ(owner.SpeakerCalls(), speaker);
}

TEST(AudioDevice, CaptureHoldsOneBlockBackAndPassesItBitExactWhenProcessingIsOff)
{
    TempDirectory directory;
    const auto speech = SpeechLikeSignal(800);
    WriteMonoWav(directory.File("mic.wav"), speech);
    ScopedEnvironment microphoneFile("ORVSIP_VIRTUAL_MIC", directory.File("mic.wav"));
    RecordingOwner owner;
    VirtualWaveBackend backend;
    AudioDevice device(owner, backend);
    device.EchoGain().DisableEchoNoiseCancellation();
    ASSERT_EQ(device.OpenCapture(0), MediaOk);
    ASSERT_TRUE(owner.WaitForMicrophoneBlocks(6));
    device.CloseCapture();
    const auto sent = Flatten(owner.MicrophoneBlocks());
    for (std::size_t i = 0; i < 80; ++i)
        ASSERT_EQ(sent[i], 0) << "the first block sent is the empty held block";
    for (std::size_t i = 80; i < 6 * 80; ++i)
        ASSERT_EQ(sent[i], speech[i - 80]) << i;
}

TEST(AudioDevice, CaptureBlocksOfAnotherSizeAreIgnored)
{
    RecordingOwner owner;
    ShortBlockBackend backend(60);
    AudioDevice device(owner, backend);
    ASSERT_EQ(device.OpenCapture(0), MediaOk);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    device.CloseCapture();
    EXPECT_EQ(owner.MicrophoneCount(), 0u);
}

TEST(AudioDevice, MutedMicrophoneSendsSilenceAndSkipsMeterAndEcho)
{
    TempDirectory directory;
    WriteMonoWav(directory.File("mic.wav"), SpeechLikeSignal(800));
    ScopedEnvironment microphoneFile("ORVSIP_VIRTUAL_MIC", directory.File("mic.wav"));
    RecordingOwner owner;
    VirtualWaveBackend backend;
    AudioDevice device(owner, backend);
    ASSERT_EQ(device.OpenCapture(0), MediaOk);
    device.MuteMicrophone(true);
    const std::array<std::int16_t, 80> reference{};
    device.EchoGain().WriteReference(reference);
    const std::size_t before = owner.MicrophoneCount();
    ASSERT_TRUE(owner.WaitForMicrophoneBlocks(before + 5));
    device.CloseCapture();
    const auto blocks = owner.MicrophoneBlocks();
    for (std::size_t block = before + 1; block < blocks.size(); ++block) {
        for (std::int16_t sample : blocks[block])
            ASSERT_EQ(sample, 0) << block;
    }
    EXPECT_EQ(device.EchoGain().ReferenceBytes(), 160u) << "echo processing did not run";
    EXPECT_EQ(device.MicrophoneLevel(), 0);
}

TEST(AudioDevice, SpeakerAudioFeedsTheEchoReferenceOnlyWhileTheMicrophoneListens)
{
    RecordingOwner owner;
    owner.PlayToSpeaker(500);
    VirtualWaveBackend backend;
    AudioDevice device(owner, backend);
    ASSERT_EQ(device.OpenPlayback(0), MediaOk);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(device.EchoGain().ReferenceBytes(), 0u) << "no microphone running";
    EXPECT_FALSE(device.EchoGain().NewestReference());
    device.ClosePlayback();

    // Each mixed block is numbered by the speaker call that made it. With 20 blocks
    // kept ahead of the speaker, it plays 20 calls later, and only then is it the
    // echo reference.
    ScopedEnvironment blocks("ORVSIP_PLAYBACK_BLOCKS", "20");
    NumberingOwner numbering;
    AudioDevice listening(numbering, backend);
    ASSERT_EQ(listening.OpenCapture(0), MediaOk);
    ASSERT_EQ(listening.OpenPlayback(0), MediaOk);
    int newest = 0;
    for (int tries = 0; tries < 100 && newest < 10; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const auto reference = listening.EchoGain().NewestReference();
        const int calls = numbering.Calls();
        if (!reference || (*reference)[0] == 0)
            continue;
        newest = (*reference)[0];
        ASSERT_GE(calls - newest, listening.PlaybackDepth() - 1) << "a block is the reference before it played";
    }
    EXPECT_GE(newest, 10);
}

TEST(AudioDevice, AnEchoWithoutDelayLoopsWhatTheSpeakerPlaysIntoTheMicrophoneWithoutAFile)
{
    ScopedEnvironment echo("ORVSIP_VIRTUAL_ECHO", "0,0");
    RecordingOwner owner;
    owner.PlayToSpeaker(1234);
    VirtualWaveBackend backend;
    AudioDevice device(owner, backend);
    device.EchoGain().DisableEchoNoiseCancellation();
    ASSERT_EQ(device.OpenCapture(0), MediaOk);
    ASSERT_EQ(device.OpenPlayback(0), MediaOk);
    ASSERT_TRUE(owner.WaitForMicrophoneBlocks(12));
    device.CloseCapture();
    device.ClosePlayback();
    // After the primed silence the speaker plays 1234; the microphone hears a block
    // in its next one, which the device holds back once more, and from then on it
    // sends exactly what the speaker played.
    const auto blocks = owner.MicrophoneBlocks();
    const auto loud = std::find_if(blocks.begin(), blocks.end(), [](const auto& block) { return block[0] != 0; });
    ASSERT_NE(loud, blocks.end());
    EXPECT_LE(loud - blocks.begin(), 5);
    std::array<std::int16_t, 80> played;
    played.fill(1234);
    for (auto block = loud; block != blocks.end(); ++block)
        EXPECT_EQ(*block, played) << block - blocks.begin();
}

TEST(AudioDevice, MutedSpeakerPlaysSilenceAndTheMeterShowsIt)
{
    RecordingOwner owner;
    owner.PlayToSpeaker(20000);
    VirtualWaveBackend backend;
    AudioDevice device(owner, backend);
    ASSERT_EQ(device.OpenPlayback(0), MediaOk);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_GT(device.SpeakerLevel(), 0);
    device.MuteSpeaker(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_EQ(device.SpeakerLevel(), 0);
}

TEST(AudioDevice, VolumesGoThroughTheMixerAsEightBitValues)
{
    RecordingOwner owner;
    VirtualWaveBackend backend;
    AudioDevice device(owner, backend);
    int volume = 0;
    EXPECT_EQ(device.GetSpeakerVolume(volume), MediaNoPlayback);
    EXPECT_EQ(volume, -1);
    EXPECT_EQ(device.SetSpeakerVolume(10), MediaNoPlayback);
    EXPECT_EQ(device.GetMicrophoneVolume(volume), MediaNoCapture);
    EXPECT_EQ(device.SetMicrophoneVolume(10), MediaNoCapture);
    bool boost = true;
    EXPECT_EQ(device.GetMicrophoneBoost(boost), MediaNoCapture);
    EXPECT_EQ(device.SetMicrophoneBoost(true), MediaNoCapture);

    ASSERT_EQ(device.OpenPlayback(0), MediaOk);
    ASSERT_EQ(device.OpenCapture(0), MediaOk);
    EXPECT_EQ(device.SetSpeakerVolume(300), MediaOk);
    EXPECT_EQ(device.GetSpeakerVolume(volume), MediaOk);
    EXPECT_EQ(volume, 255);
    EXPECT_EQ(device.SetSpeakerVolume(100), MediaOk);
    EXPECT_EQ(device.GetSpeakerVolume(volume), MediaOk);
    EXPECT_EQ(volume, 100);
    EXPECT_EQ(device.SetMicrophoneVolume(300), MediaOk);
    EXPECT_EQ(device.GetMicrophoneVolume(volume), MediaOk);
    EXPECT_EQ(volume, 44);
    EXPECT_EQ(device.SetMicrophoneBoost(true), MediaOk);
    EXPECT_EQ(device.GetMicrophoneBoost(boost), MediaOk);
    EXPECT_TRUE(boost);
}

TEST(AudioDevice, ReopeningReplacesTheStreamWithoutLeakingIt)
{
    RecordingOwner owner;
    CountingBackend backend;
    AudioDevice device(owner, backend);
    ASSERT_EQ(device.OpenCapture(0), MediaOk);
    const auto first = device.CaptureHandle();
    ASSERT_EQ(device.OpenCapture(-1), MediaOk);
    EXPECT_NE(device.CaptureHandle(), first);
    EXPECT_EQ(backend.captures, 1);
    EXPECT_EQ(device.OpenCapture(7), MediaCaptureOpenFailed);
    EXPECT_NE(device.CaptureHandle(), 0u) << "a failed open keeps the running stream";
    EXPECT_EQ(backend.captures, 1);
    EXPECT_EQ(device.OpenPlayback(7), MediaPlaybackOpenFailed);
    EXPECT_EQ(backend.playbacks, 0);
}

TEST(AudioDevice, VolumesAndBoostSetOnAStreamCarryOverToTheNextOne)
{
    TempDirectory directory;
    const std::string played = directory.File("speaker.wav");
    ScopedEnvironment speakerFile("ORVSIP_VIRTUAL_SPEAKER", played);
    RecordingOwner owner;
    owner.PlayToSpeaker(10000);
    VirtualWaveBackend backend;
    AudioDevice device(owner, backend);
    ASSERT_EQ(device.OpenPlayback(0), MediaOk);
    ASSERT_EQ(device.OpenCapture(0), MediaOk);
    ASSERT_EQ(device.SetSpeakerVolume(100), MediaOk);
    ASSERT_EQ(device.SetMicrophoneVolume(60), MediaOk);
    ASSERT_EQ(device.SetMicrophoneBoost(true), MediaOk);
    device.ClosePlayback();
    device.CloseCapture();
    int volume = 0;
    EXPECT_EQ(device.GetSpeakerVolume(volume), MediaNoPlayback) << "no stream, no volume";
    EXPECT_EQ(device.SetMicrophoneVolume(5), MediaNoCapture);

    ASSERT_EQ(device.OpenPlayback(0), MediaOk);
    ASSERT_EQ(device.OpenCapture(0), MediaOk);
    ASSERT_EQ(device.GetSpeakerVolume(volume), MediaOk);
    EXPECT_EQ(volume, 100);
    ASSERT_EQ(device.GetMicrophoneVolume(volume), MediaOk);
    EXPECT_EQ(volume, 60);
    bool boost = false;
    ASSERT_EQ(device.GetMicrophoneBoost(boost), MediaOk);
    EXPECT_TRUE(boost);

    // What the new stream plays is scaled by the carried-over volume.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    device.ClosePlayback();
    SF_INFO info{};
    SNDFILE* file = sf_open(played.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    std::vector<short> samples(static_cast<std::size_t>(info.frames));
    sf_read_short(file, samples.data(), info.frames);
    sf_close(file);
    ASSERT_GT(samples.size(), 2000u);
    const short loudest = *std::max_element(samples.begin(), samples.end());
    EXPECT_NEAR(loudest, 10000 * 100 * 256 / 65535, 2);
}
