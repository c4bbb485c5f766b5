#include "LineTestSupport.h"
#include "WaveTestSupport.h"
#include "media/MediaEngine.h"
#include "media/MediaEngineOwner.h"
#include "media/MediaError.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

constexpr int PcmuPayloadType = 0;

class CountingOwner : public MediaEngineOwner {
public:
    void OnMediaDtmfDigit(int, const std::string&) override {}
    void OnMediaWaveDone(int line) override
    {
        ++waveDone;
        doneLine = line;
    }

    std::atomic<int> waveDone{0};
    std::atomic<int> doneLine{-1};
};

std::vector<std::uint8_t> PcmuPayload(const std::vector<std::int16_t>& samples, std::size_t at)
{
    CodecSet codecs;
    std::vector<std::uint8_t> payload(160);
    std::size_t written = 0;
    codecs.At(CodecSet::Pcmu)->Encode(std::span(samples.data() + at, 160), payload, written);
    return payload;
}

} // namespace

TEST(MediaEngine, AWaveFilePlaysIntoACallAndTheCallIsRecorded)
{
    TemporaryFolder folder;
    const TempDirectory& directory = folder.directory_;
    const std::string wave = directory.File("tone.wav");
    ASSERT_TRUE(WriteSoundFile(wave, Sine(500, 1.0, 8000, 1, 6000)));
    MessageLoop loop;
    MediaEngine engine(loop);
    CountingOwner owner;
    ASSERT_TRUE(engine.Start(1, false, &owner));
    const int port = FreeUdpPort();
    ASSERT_TRUE(engine.OpenLine(0, true, "127.0.0.1", port));
    RtpPeer peer;
    ASSERT_TRUE(engine.StartMedia(0, "127.0.0.1", peer.Port(), CodecSet::Pcmu, PcmuPayloadType, true, true));
    ASSERT_TRUE(engine.StartRecording(0, 2, false));
    ASSERT_TRUE(engine.PlayWaveOpen(0, wave));
    EXPECT_EQ(engine.PlayWaveTotalTime(0), 1);
    ASSERT_TRUE(engine.PlayWaveStart(0, false));
    EXPECT_TRUE(engine.IsWaveFilePlaying(0));

    // The peer talks a tone of its own in real time while the file plays.
    const auto remote = Sine(1500, 2.0, 8000, 1, 6000);
    std::vector<ArrivedPacket> arrived;
    for (std::size_t packet = 0; packet < 75 && owner.waveDone == 0; ++packet) {
        peer.Send(port, RtpHeader::Build(false, PcmuPayloadType, static_cast<std::uint16_t>(packet),
                                         static_cast<std::uint32_t>(packet * 160), 9, PcmuPayload(remote, packet * 160)));
        loop.RunFor(20);
        for (auto& got : peer.Take())
            arrived.push_back(std::move(got));
    }
    ASSERT_TRUE(loop.RunUntil([&] { return owner.waveDone > 0; }, 2000));
    EXPECT_EQ(owner.waveDone, 1);
    EXPECT_EQ(owner.doneLine, 0);
    EXPECT_FALSE(engine.IsWaveFilePlaying(0));
    EXPECT_EQ(engine.PlayWavePosition(0), 0);

    std::vector<std::int16_t> sent;
    CodecSet receiver;
    for (const auto& packet : arrived) {
        const auto pcm = Decode(receiver, CodecSet::Pcmu, packet.payload);
        sent.insert(sent.end(), pcm.begin(), pcm.end());
    }
    ASSERT_GE(sent.size(), 7000u);
    EXPECT_EQ(DominantFrequency({sent.begin() + 1000, sent.begin() + 7000}), 500);
    EXPECT_GT(Rms({sent.begin() + 1000, sent.begin() + 7000}), 3000.0);

    const std::string saved = directory.File("call.wav");
    ASSERT_TRUE(engine.SaveRecordingToWaveFile(0, saved));
    SF_INFO info;
    const auto recorded = ReadSoundFile(saved, info);
    ASSERT_GE(recorded.size(), 6400u);
    const std::vector<std::int16_t> middle(recorded.begin() + 1600, recorded.begin() + 6400);
    EXPECT_GT(ToneEnergy(middle, 500), ToneEnergy(middle, 1000) * 100) << "own voice: the file";
    EXPECT_GT(ToneEnergy(middle, 1500), ToneEnergy(middle, 1000) * 100) << "remote voice: the peer";

    EXPECT_TRUE(folder.Files("Orv").empty()) << "the line's recording file has no name to leave behind";
    ASSERT_TRUE(engine.CloseLine(0));
}

TEST(MediaEngine, WaveAndRecordingOperationsCheckTheLineAndReportMediaErrors)
{
    TemporaryFolder folder;
    const std::string text = folder.directory_.File("notes.wav");
    WriteFileBytes(text, "not a wave file\n");
    MessageLoop loop;
    MediaEngine engine(loop);
    ASSERT_TRUE(engine.Start(2, false, nullptr));
    ASSERT_TRUE(engine.OpenLine(0, true, "127.0.0.1", FreeUdpPort()));
    EXPECT_FALSE(engine.PlayWaveOpen(0, folder.directory_.File("missing.wav")));
    EXPECT_EQ(engine.LastError(), MediaCannotOpenFile);
    EXPECT_FALSE(engine.PlayWaveOpen(0, text));
    EXPECT_EQ(engine.LastError(), MediaNotWaveFile);
    EXPECT_EQ(engine.PlayWaveTotalTime(0), 0);
    EXPECT_TRUE(engine.PlayWaveStart(0, true));
    EXPECT_FALSE(engine.IsWaveFilePlaying(0)) << "no file, nothing plays";
    EXPECT_FALSE(engine.StartRecording(0, 3, false));
    EXPECT_EQ(engine.LastError(), MediaBadRecordVoice);
    EXPECT_TRUE(engine.StartRecording(0, 0, true));
    EXPECT_TRUE(engine.IsRecording(0));
    EXPECT_TRUE(engine.StopRecording(0));
    EXPECT_FALSE(engine.IsRecording(0));
    EXPECT_TRUE(engine.ResetRecording(0));
    EXPECT_FALSE(engine.SaveRecordingToWaveFile(0, folder.directory_.File("no/folder.wav")));
    EXPECT_EQ(engine.LastError(), MediaCannotOpenFile);

    EXPECT_FALSE(engine.PlayWaveStop(1));
    EXPECT_EQ(engine.LastError(), MediaLineNotOpen);
    EXPECT_EQ(engine.PlayWavePosition(2), -1);
    EXPECT_EQ(engine.LastError(), MediaBadLine);
    EXPECT_FALSE(engine.IsRecording(-1));
    EXPECT_FALSE(engine.SaveRecordingToWaveFile(1, folder.directory_.File("x.wav")));
    EXPECT_EQ(engine.LastError(), MediaLineNotOpen);
}

TEST(MediaEngine, ALineWhoseRecordingFileCannotBeMadeDoesNotOpen)
{
    TemporaryFolder folder;
    setenv("TMPDIR", folder.directory_.File("missing-folder").c_str(), 1);
    MessageLoop loop;
    MediaEngine engine(loop);
    ASSERT_TRUE(engine.Start(1, false, nullptr));
    const int port = FreeUdpPort();
    EXPECT_FALSE(engine.OpenLine(0, true, "127.0.0.1", port));
    EXPECT_EQ(engine.LastError(), MediaTempFileFailed);
    EXPECT_FALSE(engine.IsLineOpen(0));
    UdpSocket again;
    EXPECT_TRUE(again.Open("127.0.0.1", port)) << "the socket is not kept";
}
