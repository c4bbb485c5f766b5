#include "WaveTestSupport.h"
#include "media/MediaError.h"
#include "media/WaveFile.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::vector<std::int16_t> ReadAll(WaveFile& file, std::vector<std::size_t>* chunkSizes = nullptr)
{
    std::vector<std::int16_t> all;
    for (auto chunk = file.ReadChunk(); !chunk.empty(); chunk = file.ReadChunk()) {
        if (chunkSizes != nullptr)
            chunkSizes->push_back(chunk.size());
        all.insert(all.end(), chunk.begin(), chunk.end());
    }
    return all;
}

// A minimal WAVE file: "fmt " of the given bytes and a data chunk.
std::string WaveBytes(const std::string& format, const std::string& data)
{
    const std::string body = "WAVE" + std::string("fmt ") + LittleEndian(static_cast<std::uint32_t>(format.size())) +
                             format + "data" + LittleEndian(static_cast<std::uint32_t>(data.size())) + data;
    return "RIFF" + LittleEndian(static_cast<std::uint32_t>(body.size())) + body;
}

std::string PcmFormatBytes(std::uint16_t channels = 1, std::uint32_t rate = 8000)
{
    return LittleEndian(1, 2) + LittleEndian(channels, 2) + LittleEndian(rate) + LittleEndian(rate * 2 * channels) +
           LittleEndian(2 * channels, 2) + LittleEndian(16, 2);
}

} // namespace

TEST(WaveFile, ReadsPcmOfEightKilohertzInChunksOfThreeSeconds)
{
    TempDirectory directory;
    const std::string path = directory.File("tone.wav");
    const auto tone = Sine(440, 7.5);
    ASSERT_TRUE(WriteSoundFile(path, tone));
    WaveFile file;
    ASSERT_EQ(file.OpenForReading(path), MediaOk);
    EXPECT_TRUE(file.Format().IsPcm());
    EXPECT_EQ(file.DataSize(), 120000u);
    EXPECT_EQ(file.TotalSeconds(), 8);
    std::vector<std::size_t> chunks;
    EXPECT_EQ(ReadAll(file, &chunks), tone);
    EXPECT_EQ(chunks, (std::vector<std::size_t>{24000, 24000, 12000}));
    file.SeekSeconds(6);
    EXPECT_EQ(file.ReadChunk(), std::vector<std::int16_t>(tone.begin() + 48000, tone.end()));
    file.SeekSeconds(99);
    EXPECT_TRUE(file.ReadChunk().empty());
}

TEST(WaveFile, ReadsGsmInItsWavPackingAsWrittenByLibsndfile)
{
    TempDirectory directory;
    const std::string path = directory.File("gsm.wav");
    ASSERT_TRUE(WriteSoundFile(path, Sine(600, 2.0), 8000, 1, SF_FORMAT_GSM610));
    WaveFile file;
    ASSERT_EQ(file.OpenForReading(path), MediaOk);
    EXPECT_TRUE(file.Format().IsGsm());
    EXPECT_EQ(file.TotalSeconds(), 2);
    std::vector<std::size_t> chunks;
    const auto pcm = ReadAll(file, &chunks);
    EXPECT_EQ(pcm.size() % 320, 0u);
    EXPECT_NEAR(static_cast<double>(pcm.size()), 16000.0, 320.0);
    EXPECT_EQ(DominantFrequency({pcm.begin() + 4000, pcm.begin() + 8000}), 600);
    EXPECT_GT(Rms({pcm.begin() + 4000, pcm.begin() + 8000}), 3000.0);
}

TEST(WaveFile, ConvertsOtherFormatsToEightKilohertzMonoAtTheRightPitch)
{
    TempDirectory directory;
    const std::string stereo = directory.File("stereo.wav");
    ASSERT_TRUE(WriteSoundFile(stereo, Sine(1000, 2.0, 44100, 2), 44100, 2));
    WaveFile file;
    ASSERT_EQ(file.OpenForReading(stereo), MediaOk);
    EXPECT_FALSE(file.Format().IsPcm());
    EXPECT_EQ(file.TotalSeconds(), 2);
    std::vector<std::size_t> chunks;
    const auto pcm = ReadAll(file, &chunks);
    EXPECT_NEAR(static_cast<double>(pcm.size()), 16000.0, 200.0);
    EXPECT_EQ(DominantFrequency({pcm.begin() + 4000, pcm.begin() + 8000}), 1000);
    file.SeekSeconds(1);
    EXPECT_NEAR(static_cast<double>(ReadAll(file).size()), 8000.0, 200.0);

    const std::string alaw = directory.File("alaw.wav");
    ASSERT_TRUE(WriteSoundFile(alaw, Sine(700, 1.0), 8000, 1, SF_FORMAT_ALAW));
    ASSERT_EQ(file.OpenForReading(alaw), MediaOk);
    EXPECT_EQ(DominantFrequency(ReadAll(file)), 700);
}

TEST(WaveFile, RefusesWhatIsNotAReadableWaveFile)
{
    TempDirectory directory;
    const std::string path = directory.File("bad.wav");
    WaveFile file;
    EXPECT_EQ(file.OpenForReading(directory.File("missing.wav")), MediaCannotOpenFile);
    WriteFileBytes(path, "this is a text file, not a wave file at all\n");
    EXPECT_EQ(file.OpenForReading(path), MediaNotWaveFile);
    const std::string data(800, '\1');
    WriteFileBytes(path, WaveBytes(PcmFormatBytes().substr(0, 14), data));
    EXPECT_EQ(file.OpenForReading(path), MediaNotWaveFile) << "fmt shorter than 16 bytes";
    WriteFileBytes(path, "RIFF" + LittleEndian(12 + 800) + "WAVEdata" + LittleEndian(800) + data);
    EXPECT_EQ(file.OpenForReading(path), MediaNotWaveFile) << "no fmt";
    std::string noData = WaveBytes(PcmFormatBytes(), "");
    noData.replace(noData.find("data"), 4, "junk");
    WriteFileBytes(path, noData);
    EXPECT_EQ(file.OpenForReading(path), MediaNotWaveFile) << "no data";
    const std::string whole = WaveBytes(PcmFormatBytes(), data);
    WriteFileBytes(path, whole.substr(0, whole.size() - 100));
    EXPECT_EQ(file.OpenForReading(path), MediaNotWaveFile) << "truncated";
    std::string lying = whole;
    lying.replace(lying.find("data") + 4, 4, LittleEndian(0x7FFFFFF0));
    WriteFileBytes(path, lying);
    EXPECT_EQ(file.OpenForReading(path), MediaNotWaveFile) << "data size past the end";
    const std::string gsmHead = LittleEndian(49, 2) + LittleEndian(1, 2) + LittleEndian(8000) + LittleEndian(1625) +
                                LittleEndian(65, 2) + LittleEndian(0, 2);
    WriteFileBytes(path, WaveBytes(gsmHead + LittleEndian(0xFFFF, 2) + LittleEndian(320, 2), data));
    EXPECT_EQ(file.OpenForReading(path), MediaNotWaveFile) << "cbSize past the fmt chunk";
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.TotalSeconds(), 0);
    EXPECT_TRUE(file.ReadChunk().empty());
}

TEST(WaveFile, FormatsWithoutAConversionAreRefused)
{
    TempDirectory directory;
    const std::string path = directory.File("odd.wav");
    const std::string data(800, '\1');
    WaveFile file;
    WriteFileBytes(path, WaveBytes(PcmFormatBytes(0, 8000), data));
    EXPECT_EQ(file.OpenForReading(path), MediaNoConversion) << "no channels";
    WriteFileBytes(path, WaveBytes(PcmFormatBytes(1, 0), data));
    EXPECT_EQ(file.OpenForReading(path), MediaNoConversion) << "no rate";
    const std::string unknown = LittleEndian(0x7777, 2) + LittleEndian(1, 2) + LittleEndian(8000) +
                                LittleEndian(8000) + LittleEndian(1, 2) + LittleEndian(8, 2) + LittleEndian(0, 2);
    WriteFileBytes(path, WaveBytes(unknown, data));
    EXPECT_EQ(file.OpenForReading(path), MediaNoConversion) << "a format nobody decodes";
}

TEST(WaveFile, DamagedFilesAreNeverReadPastTheirEnd)
{
    TempDirectory directory;
    const std::string good = directory.File("good.wav");
    const std::string bad = directory.File("bad.wav");
    ASSERT_TRUE(WriteSoundFile(good, Sine(440, 0.5)));
    const std::string original = FileBytes(good);
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string damaged = original;
        for (int change = 0; change < 1 + round % 4; ++change)
            damaged[random() % 64] = static_cast<char>(random());
        if (round % 3 == 0)
            damaged.resize(random() % damaged.size());
        WriteFileBytes(bad, damaged);
        WaveFile file;
        const int result = file.OpenForReading(bad);
        ASSERT_TRUE(result == MediaOk || result == MediaNotWaveFile || result == MediaNoConversion) << result;
        std::size_t samples = 0;
        for (auto chunk = file.ReadChunk(); !chunk.empty() && samples < 1000000; chunk = file.ReadChunk())
            samples += chunk.size();
        EXPECT_LE(samples, 200000u);
    }
}

TEST(WaveFile, WritesTheChunkLayoutOfARecording)
{
    TempDirectory directory;
    const std::string path = directory.File("written.wav");
    WaveFile file;
    ASSERT_EQ(file.Create(path, WaveFormat::Gsm()), MediaOk);
    const std::vector<std::uint8_t> data(130, 0x55);
    ASSERT_TRUE(file.WriteData(data));
    ASSERT_EQ(file.Finish(), MediaOk);
    const std::string bytes = FileBytes(path);
    const std::string expected = "RIFF" + LittleEndian(4 + 28 + 12 + 8 + 130) + "WAVE" + "fmt " + LittleEndian(20) +
                                 LittleEndian(49, 2) + LittleEndian(1, 2) + LittleEndian(8000) + LittleEndian(1625) +
                                 LittleEndian(65, 2) + LittleEndian(0, 2) + LittleEndian(2, 2) +
                                 LittleEndian(320, 2) + "fact" + LittleEndian(4) + LittleEndian(0) + "data" +
                                 LittleEndian(130) + std::string(130, '\x55');
    EXPECT_EQ(bytes, expected);
    ASSERT_EQ(file.OpenForReading(path), MediaOk);
    EXPECT_TRUE(file.Format().IsGsm());

    ASSERT_EQ(file.Create(path, WaveFormat::Pcm()), MediaOk);
    ASSERT_EQ(file.Finish(), MediaOk);
    EXPECT_EQ(FileBytes(path).substr(12, 8), "fmt " + LittleEndian(16));
    EXPECT_EQ(file.Create(directory.File("no/folder.wav"), WaveFormat::Pcm()), MediaCannotOpenFile);
}
