#include "WaveTestSupport.h"
#include "media/CallRecorder.h"
#include "media/MediaError.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace {

constexpr double OwnTone = 500;
constexpr double RemoteTone = 1500;

// Recorder ticks of a call: own voice one tone, remote voice another in 20 ms packets.
void Talk(CallRecorder& recorder, int ticks, std::size_t& at)
{
    const auto own = Sine(OwnTone, 30.0, 8000, 1, 4000);
    const auto remote = Sine(RemoteTone, 30.0, 8000, 1, 4000);
    for (int tick = 0; tick < ticks; ++tick, at += 80) {
        CallRecorder::Block block;
        std::copy_n(own.begin() + static_cast<std::ptrdiff_t>(at), 80, block.begin());
        recorder.FeedOwnVoice(block);
        if (at % 160 == 0)
            recorder.FeedRemoteVoice(static_cast<std::uint16_t>(at / 160), 3, static_cast<std::uint32_t>(at),
                                     std::span(remote.data() + at, 160));
        recorder.Tick();
    }
}

std::vector<std::int16_t> Saved(CallRecorder& recorder, const std::string& path, SF_INFO& info)
{
    EXPECT_EQ(recorder.Save(path), MediaOk);
    return ReadSoundFile(path, info);
}

} // namespace

TEST(CallRecorder, HundredAndThreeTicksSaveSixteenThousandBytesOfPcm)
{
    TempDirectory directory;
    CallRecorder recorder;
    ASSERT_EQ(recorder.CreateFile(), MediaOk);
    ASSERT_EQ(recorder.Start(CallRecorder::BothVoices, false), MediaOk);
    std::size_t at = 0;
    Talk(recorder, 103, at);
    const std::string path = directory.File("call.wav");
    ASSERT_EQ(recorder.Save(path), MediaOk);
    const std::string bytes = FileBytes(path);
    ASSERT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(bytes.substr(36, 12), "fact" + LittleEndian(4) + LittleEndian(0));
    EXPECT_EQ(bytes.substr(48, 8), "data" + LittleEndian(16000));
    EXPECT_EQ(bytes.size(), 56u + 16000u);
    EXPECT_TRUE(recorder.IsRecording()) << "recording goes on after saving";
}

TEST(CallRecorder, TheSelectorChoosesOwnRemoteOrBothVoices)
{
    TempDirectory directory;
    for (int voice : {CallRecorder::OwnVoice, CallRecorder::RemoteVoice, CallRecorder::BothVoices}) {
        CallRecorder recorder;
        ASSERT_EQ(recorder.CreateFile(), MediaOk);
        ASSERT_EQ(recorder.Start(voice, false), MediaOk);
        std::size_t at = 0;
        Talk(recorder, 200, at);
        SF_INFO info;
        const auto samples = Saved(recorder, directory.File("voice.wav"), info);
        ASSERT_EQ(samples.size(), 16000u);
        const std::vector<std::int16_t> middle(samples.begin() + 4000, samples.end());
        const double own = ToneEnergy(middle, OwnTone);
        const double remote = ToneEnergy(middle, RemoteTone);
        if (voice == CallRecorder::OwnVoice) {
            EXPECT_GT(own, remote * 1000) << "own voice only";
        } else if (voice == CallRecorder::RemoteVoice) {
            EXPECT_GT(remote, own * 1000) << "remote voice only";
        } else {
            EXPECT_GT(own, remote / 4) << "both";
            EXPECT_GT(remote, own / 4) << "both";
        }
    }
    CallRecorder recorder;
    ASSERT_EQ(recorder.CreateFile(), MediaOk);
    EXPECT_EQ(recorder.Start(3, false), MediaBadRecordVoice);
    EXPECT_EQ(recorder.Start(-1, false), MediaBadRecordVoice);
    EXPECT_FALSE(recorder.IsRecording());
}

TEST(CallRecorder, CompressionConvertsTheRecordingToGsmAndBack)
{
    TempDirectory directory;
    CallRecorder recorder;
    ASSERT_EQ(recorder.CreateFile(), MediaOk);
    ASSERT_EQ(recorder.Start(CallRecorder::OwnVoice, false), MediaOk);
    // Whole 80 ms units, which is what a flush keeps.
    std::size_t at = 0;
    Talk(recorder, 248, at);
    ASSERT_EQ(recorder.Start(CallRecorder::OwnVoice, true), MediaOk);
    Talk(recorder, 152, at);
    const std::string gsm = directory.File("gsm.wav");
    SF_INFO info;
    const auto decoded = Saved(recorder, gsm, info);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_GSM610);
    const std::string bytes = FileBytes(gsm);
    ASSERT_EQ(bytes.substr(52, 4), "data");
    const std::uint32_t dataBytes = static_cast<std::uint8_t>(bytes[56]) | static_cast<std::uint8_t>(bytes[57]) << 8;
    EXPECT_EQ(bytes.substr(20, 2), LittleEndian(49, 2));
    EXPECT_EQ(dataBytes % 65, 0u);
    EXPECT_EQ(dataBytes / 65 * 640, 2u * 32000u) << "4 s in whole 80 ms blocks";
    EXPECT_EQ(decoded.size(), 32000u);
    EXPECT_EQ(DominantFrequency({decoded.begin() + 4000, decoded.begin() + 12000}), 500);
    EXPECT_EQ(DominantFrequency({decoded.begin() + 24000, decoded.end()}), 500);

    ASSERT_EQ(recorder.Start(CallRecorder::OwnVoice, false), MediaOk);
    const auto pcm = Saved(recorder, directory.File("pcm.wav"), info);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(pcm.size(), 32000u) << "the same length in 640-byte units";
    EXPECT_EQ(DominantFrequency({pcm.begin() + 4000, pcm.begin() + 12000}), 500);
}

TEST(CallRecorder, ResetStopAndTheTemporaryFile)
{
    TemporaryFolder folder;
    CallRecorder recorder;
    std::size_t at = 0;
    Talk(recorder, 100, at);
    EXPECT_EQ(recorder.Save(folder.directory_.File("none.wav")), MediaCannotOpenFile) << "no file, no recording";
    ASSERT_EQ(recorder.CreateFile(), MediaOk);
    EXPECT_TRUE(recorder.HasFile());
    EXPECT_TRUE(folder.Files("Orv").empty())
        << "the temporary file has no name, so a process that is killed leaves nothing";

    ASSERT_EQ(recorder.Start(CallRecorder::BothVoices, false), MediaOk);
    Talk(recorder, 160, at);
    recorder.Stop();
    Talk(recorder, 160, at);
    SF_INFO info;
    EXPECT_EQ(Saved(recorder, folder.directory_.File("a.wav"), info).size(), 12800u) << "nothing while stopped";
    recorder.Reset();
    EXPECT_EQ(Saved(recorder, folder.directory_.File("b.wav"), info).size(), 0u);

    // A save that fails leaves the recording as it was.
    ASSERT_EQ(recorder.Start(CallRecorder::BothVoices, false), MediaOk);
    Talk(recorder, 80, at);
    EXPECT_EQ(recorder.Save(folder.directory_.File("no/folder.wav")), MediaCannotOpenFile);
    EXPECT_EQ(Saved(recorder, folder.directory_.File("c.wav"), info).size(), 6400u);

    recorder.DeleteFile();
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_FALSE(recorder.HasFile());
}

TEST(CallRecorder, SavedFilesFollowTheUmask)
{
    TempDirectory directory;
    CallRecorder recorder;
    ASSERT_EQ(recorder.CreateFile(), MediaOk);
    const mode_t old = umask(027);
    const std::string path = directory.File("saved.wav");
    const int result = recorder.Save(path);
    umask(old);
    ASSERT_EQ(result, MediaOk);
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
}

TEST(CallRecorder, StereoKeepsEachSideOnItsChannelAndGsmHasNoStereo)
{
    TempDirectory directory;
    CallRecorder recorder;
    ASSERT_EQ(recorder.CreateFile(), MediaOk);
    EXPECT_EQ(recorder.SetChannels(3), MediaBadRecordVoice);
    EXPECT_EQ(recorder.SetChannels(0), MediaBadRecordVoice);
    ASSERT_EQ(recorder.SetChannels(CallRecorder::Stereo), MediaOk);
    EXPECT_EQ(recorder.Start(CallRecorder::BothVoices, true), MediaBadRecordVoice) << "GSM 06.10 is mono";
    EXPECT_FALSE(recorder.IsRecording());
    ASSERT_EQ(recorder.Start(CallRecorder::BothVoices, false), MediaOk);
    std::size_t at = 0;
    Talk(recorder, 200, at);
    SF_INFO info;
    const auto frames = Saved(recorder, directory.File("stereo.wav"), info);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 8000);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    ASSERT_EQ(frames.size(), 2u * 16000u);
    std::vector<std::int16_t> left, right;
    for (std::size_t frame = 4000; frame < 16000; ++frame) {
        left.push_back(frames[2 * frame]);
        right.push_back(frames[2 * frame + 1]);
    }
    EXPECT_GT(ToneEnergy(left, OwnTone), 1000 * ToneEnergy(left, RemoteTone)) << "this side on the left";
    EXPECT_GT(ToneEnergy(right, RemoteTone), 1000 * ToneEnergy(right, OwnTone)) << "the peer on the right";

    // Back to mono: the channels are mixed, as a mono recording would have them.
    ASSERT_EQ(recorder.SetChannels(CallRecorder::Mono), MediaOk);
    const auto mixed = Saved(recorder, directory.File("mixed.wav"), info);
    EXPECT_EQ(info.channels, 1);
    ASSERT_EQ(mixed.size(), 16000u);
    EXPECT_EQ(mixed[9000], static_cast<std::int16_t>(frames[18000] + frames[18001]));
    ASSERT_EQ(recorder.Start(CallRecorder::BothVoices, true), MediaOk);
    EXPECT_EQ(recorder.SetChannels(CallRecorder::Stereo), MediaBadRecordVoice) << "not while compressing";
}

TEST(CallRecorder, TheHeardVoiceWaitsForTheBlocksTheDevicePlaysBeforeIt)
{
    TempDirectory directory;
    CallRecorder recorder;
    ASSERT_EQ(recorder.CreateFile(), MediaOk);
    ASSERT_EQ(recorder.SetChannels(CallRecorder::Stereo), MediaOk);
    ASSERT_EQ(recorder.Start(CallRecorder::BothVoices, false), MediaOk);
    constexpr int Marked = 100;
    constexpr int Delay = 2;
    for (int tick = 0; tick < 400; ++tick) {
        CallRecorder::Block block{};
        block.fill(tick == Marked ? 1000 : 0);
        recorder.FeedOwnVoice(block);
        recorder.FeedHeardVoice(block, Delay);
        recorder.Tick();
    }
    SF_INFO info;
    const auto frames = Saved(recorder, directory.File("heard.wav"), info);
    ASSERT_EQ(frames.size(), 2u * 32000u);
    auto first = [&](std::size_t channel) {
        for (std::size_t frame = 0; frame < 32000; ++frame) {
            if (frames[2 * frame + channel] != 0)
                return frame;
        }
        return std::size_t{0};
    };
    EXPECT_EQ(first(0), std::size_t{Marked} * 80);
    EXPECT_EQ(first(1), std::size_t{Marked + Delay} * 80);
}

TEST(CallRecorder, ASaveCopiesWhatWasRecordedWhileRecordingGoesOn)
{
    TempDirectory directory;
    CallRecorder recorder;
    ASSERT_EQ(recorder.CreateFile(), MediaOk);
    ASSERT_EQ(recorder.Start(CallRecorder::BothVoices, false), MediaOk);
    std::size_t at = 0;
    Talk(recorder, 400, at);
    const std::optional<CallRecorder::SaveJob> job = recorder.PrepareSave();
    ASSERT_TRUE(job);
    EXPECT_EQ(job->bytes, 64000) << "flushed: four seconds";
    EXPECT_EQ(job->format, WaveFormat::Pcm());
    // The line's lock is not held while copying: the recording goes on meanwhile.
    Talk(recorder, 300, at);
    SF_INFO info;
    ASSERT_EQ(CallRecorder::WriteSaved(*job, directory.File("snapshot.wav")), MediaOk);
    EXPECT_EQ(ReadSoundFile(directory.File("snapshot.wav"), info).size(), 32000u) << "what the job named";
    EXPECT_EQ(CallRecorder::WriteSaved(*job, directory.File("no/folder.wav")), MediaCannotOpenFile);
    recorder.DeleteFile();
    ASSERT_EQ(CallRecorder::WriteSaved(*job, directory.File("after.wav")), MediaOk)
        << "the job keeps the file while it copies";
    EXPECT_FALSE(recorder.PrepareSave()) << "no file, nothing to save";
}
