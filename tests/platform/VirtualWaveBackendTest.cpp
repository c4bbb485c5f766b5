#include "platform/PortAudioTransport.h"
#include "platform/VirtualWaveBackend.h"
#include "platform/WavSource.h"
#include "platform/WaveBackend.h"
#include "tests/platform/TempDirectory.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

void WriteWav(const std::string& path, const std::vector<std::int16_t>& samples, int rate, int channels)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    sf_writef_short(file, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
    sf_close(file);
}

std::vector<std::int16_t> ReadWav(const std::string& path, SF_INFO& info)
{
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr)
        return {};
    std::vector<std::int16_t> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_read_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
    return samples;
}

// Keeps `depth` blocks queued on a stream and collects what comes back.
class BlockPump {
public:
    explicit BlockPump(std::size_t depth) : data_(depth), blocks_(depth)
    {
        for (std::size_t i = 0; i < depth; ++i)
            blocks_[i] = {data_[i].data(), 160, 0, static_cast<int>(i)};
    }

    WaveCallback Callback()
    {
        return [this](WaveNotice notice, WaveBlock* block) {
            if (notice != WaveNotice::BlockDone)
                return;
            std::lock_guard lock(mutex_);
            captured_.insert(captured_.end(), block->data, block->data + block->bytesRecorded / 2);
            ++done_;
            if (stream_ != nullptr && requeue_)
                stream_->Queue(block);
        };
    }

    void Attach(WaveStream& stream, bool requeue)
    {
        {
            std::lock_guard lock(mutex_);
            stream_ = &stream;
            requeue_ = requeue;
        }
        for (auto& block : blocks_)
            stream.Queue(&block);
    }

    void Fill(std::int16_t value)
    {
        for (auto& block : data_)
            block.fill(value);
    }

    void StopRequeue()
    {
        std::lock_guard lock(mutex_);
        requeue_ = false;
    }

    int Done() { return done_; }
    std::vector<std::int16_t> Captured()
    {
        std::lock_guard lock(mutex_);
        return captured_;
    }

private:
    std::vector<std::array<std::int16_t, 80>> data_;
    std::vector<WaveBlock> blocks_;
    std::mutex mutex_;
    WaveStream* stream_ = nullptr;
    bool requeue_ = false;
    std::atomic<int> done_{0};
    std::vector<std::int16_t> captured_;
};

// Runs `stream` until every block of `pump` came back once, then closes it.
void RunOnce(WaveStream& stream, BlockPump& pump, int blocks)
{
    pump.Attach(stream, false);
    stream.Start();
    while (pump.Done() < blocks)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stream.Close();
}

} // namespace

TEST(VirtualWaveBackend, OffersOneDeviceEachWay)
{
    VirtualWaveBackend backend;
    EXPECT_EQ(backend.Name(), "virtual");
    EXPECT_EQ(backend.DeviceCount(WaveDirection::Capture), 1);
    EXPECT_EQ(backend.DeviceCount(WaveDirection::Playback), 1);
    EXPECT_EQ(backend.DeviceName(WaveDirection::Capture, 0), "Virtual Microphone");
    EXPECT_EQ(backend.DeviceName(WaveDirection::Playback, -1), "Virtual Speaker");
    EXPECT_EQ(backend.DeviceName(WaveDirection::Playback, 1), "");
    EXPECT_EQ(backend.Open(WaveDirection::Capture, 2, [](WaveNotice, WaveBlock*) {}), nullptr);
}

TEST(VirtualWaveBackend, MicrophonePlaysTheWavFileInALoopAtRealTimePace)
{
    TempDirectory directory;
    std::vector<std::int16_t> ramp(240);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<std::int16_t>(i * 10);
    WriteWav(directory.File("mic.wav"), ramp, 8000, 1);
    setenv("ORVSIP_VIRTUAL_MIC", directory.File("mic.wav").c_str(), 1);
    VirtualWaveBackend backend;
    BlockPump pump(25);
    auto stream = backend.Open(WaveDirection::Capture, -1, pump.Callback());
    unsetenv("ORVSIP_VIRTUAL_MIC");
    ASSERT_NE(stream, nullptr);
    pump.Attach(*stream, true);
    stream->Start();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const int blocks = pump.Done();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    pump.StopRequeue();
    stream->Close();

    EXPECT_NEAR(blocks / seconds, 100.0, 8.0);
    const auto captured = pump.Captured();
    ASSERT_GE(captured.size(), 480u);
    for (std::size_t i = 0; i < 480; ++i)
        ASSERT_EQ(captured[i], ramp[i % ramp.size()]) << i;
}

TEST(VirtualWaveBackend, MicrophoneWithoutAFileGivesSilence)
{
    unsetenv("ORVSIP_VIRTUAL_MIC");
    VirtualWaveBackend backend;
    BlockPump pump(3);
    pump.Fill(77);
    auto stream = backend.Open(WaveDirection::Capture, 0, pump.Callback());
    ASSERT_NE(stream, nullptr);
    RunOnce(*stream, pump, 3);
    const auto captured = pump.Captured();
    ASSERT_EQ(captured.size(), 240u);
    for (std::int16_t sample : captured)
        EXPECT_EQ(sample, 0);
}

TEST(VirtualWaveBackend, MicrophoneConvertsOtherFormatsTo8kMono)
{
    TempDirectory directory;
    std::vector<std::int16_t> stereo(16000 * 2);
    for (std::size_t i = 0; i < stereo.size(); i += 2) {
        stereo[i] = 4000;
        stereo[i + 1] = 2000;
    }
    WriteWav(directory.File("stereo.wav"), stereo, 16000, 2);
    setenv("ORVSIP_VIRTUAL_MIC", directory.File("stereo.wav").c_str(), 1);
    VirtualWaveBackend backend;
    BlockPump pump(10);
    auto stream = backend.Open(WaveDirection::Capture, 0, pump.Callback());
    unsetenv("ORVSIP_VIRTUAL_MIC");
    ASSERT_NE(stream, nullptr);
    RunOnce(*stream, pump, 10);
    const auto captured = pump.Captured();
    ASSERT_EQ(captured.size(), 800u);
    EXPECT_NEAR(captured[400], 3000, 30);
}

TEST(WavSource, ReadsAtMostTenMinutesWhateverTheRate)
{
    TempDirectory directory;
    const int rate = 100;
    WriteWav(directory.File("slow.wav"), std::vector<std::int16_t>(rate * 700, 1000), rate, 1);
    auto samples = WavSource::Load(directory.File("slow.wav"));
    ASSERT_TRUE(samples.has_value());
    EXPECT_NEAR(static_cast<double>(samples->size()), WavSource::MaxSeconds * WavSource::SampleRate, 8000.0);
}

TEST(VirtualWaveBackend, UnreadableMicrophoneFileFailsTheOpen)
{
    setenv("ORVSIP_VIRTUAL_MIC", "/nonexistent/mic.wav", 1);
    VirtualWaveBackend backend;
    EXPECT_EQ(backend.Open(WaveDirection::Capture, 0, [](WaveNotice, WaveBlock*) {}), nullptr);
    unsetenv("ORVSIP_VIRTUAL_MIC");
}

TEST(VirtualWaveBackend, SpeakerWritesWhatItIsGivenAs8kMonoWav)
{
    TempDirectory directory;
    const std::string path = directory.File("speaker.wav");
    setenv("ORVSIP_VIRTUAL_SPEAKER", path.c_str(), 1);
    VirtualWaveBackend backend;
    BlockPump pump(5);
    pump.Fill(1234);
    auto stream = backend.Open(WaveDirection::Playback, 0, pump.Callback());
    unsetenv("ORVSIP_VIRTUAL_SPEAKER");
    ASSERT_NE(stream, nullptr);
    RunOnce(*stream, pump, 5);
    stream.reset();

    SF_INFO info{};
    const auto written = ReadWav(path, info);
    EXPECT_EQ(info.samplerate, 8000);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    ASSERT_GE(written.size(), 400u);
    for (std::size_t i = 0; i < 400; ++i)
        ASSERT_EQ(written[i], 1234) << i;
}

TEST(WaveBackend, SelectionFollowsTheChoice)
{
    EXPECT_EQ(WaveBackend::Select("virtual")->Name(), "virtual");
    EXPECT_EQ(WaveBackend::Select("portaudio")->Name(), "portaudio");
}

TEST(WaveBackend, WithoutASoundCardTheVirtualDeviceIsChosen)
{
    auto probe = WaveBackend::Select("portaudio");
    if (probe->DeviceCount(WaveDirection::Capture) + probe->DeviceCount(WaveDirection::Playback) > 0)
        GTEST_SKIP() << "this machine has a sound device";
    probe.reset();
    EXPECT_EQ(WaveBackend::Select(nullptr)->Name(), "virtual");
    EXPECT_EQ(WaveBackend::Select("")->Name(), "virtual");
}

TEST(WaveBackend, PortAudioWithoutDevicesFailsToOpen)
{
    auto portAudio = WaveBackend::Select("portaudio");
    if (portAudio->DeviceCount(WaveDirection::Capture) > 0)
        GTEST_SKIP() << "this machine has a capture device";
    EXPECT_EQ(portAudio->DeviceName(WaveDirection::Capture, 0), "");
    EXPECT_EQ(portAudio->Open(WaveDirection::Capture, 0, [](WaveNotice, WaveBlock*) {}), nullptr);
}

TEST(WaveBackend, BlocksAheadOfTheSpeakerAreTheDevicesUnlessAWholeNumberInRangeIsChosen)
{
    EXPECT_EQ(WaveBackend::BlocksAheadChosen("4"), 4);
    EXPECT_EQ(WaveBackend::BlocksAheadChosen("1"), 1);
    EXPECT_EQ(WaveBackend::BlocksAheadChosen("100"), 100);
    for (const char* other : {"", "0", "101", "-3", "4x", " 4", "4 ", "0x10", "99999999999999999999"})
        EXPECT_EQ(WaveBackend::BlocksAheadChosen(other), 0) << other;
    EXPECT_EQ(WaveBackend::BlocksAheadChosen(nullptr), 0);

    setenv("ORVSIP_PLAYBACK_BLOCKS", "7", 1);
    VirtualWaveBackend backend;
    auto chosen = backend.Open(WaveDirection::Playback, 0, [](WaveNotice, WaveBlock*) {});
    setenv("ORVSIP_PLAYBACK_BLOCKS", "lots", 1);
    auto own = backend.Open(WaveDirection::Playback, 0, [](WaveNotice, WaveBlock*) {});
    unsetenv("ORVSIP_PLAYBACK_BLOCKS");
    ASSERT_NE(chosen, nullptr);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(chosen->BlocksAhead(), 7);
    EXPECT_EQ(own->BlocksAhead(), 1) << "the virtual speaker takes each block just when it is due";

    // A sound card: its low output latency in whole 10 ms blocks, at least four.
    EXPECT_EQ(PortAudioTransport::BlocksFor(0.0087), 4);
    EXPECT_EQ(PortAudioTransport::BlocksFor(0.04), 4);
    EXPECT_EQ(PortAudioTransport::BlocksFor(0.0400000001), 4);
    EXPECT_EQ(PortAudioTransport::BlocksFor(0.0401), 5);
    EXPECT_EQ(PortAudioTransport::BlocksFor(0.07), 7);
    EXPECT_EQ(PortAudioTransport::BlocksFor(0.1), 10);
    EXPECT_EQ(PortAudioTransport::BlocksFor(-1.0), 4);
    EXPECT_EQ(PortAudioTransport::BlocksFor(std::nan("")), 4);
    EXPECT_EQ(PortAudioTransport::BlocksFor(1e9), WaveBackend::MaxBlocksAhead);
}
