#include "WaveTestSupport.h"
#include "media/MediaError.h"
#include "media/WavePlayer.h"

#include <gtest/gtest.h>

namespace {

struct Played {
    std::vector<std::int16_t> samples;
    int blocks = 0;
    bool finished = false;
};

// Runs the player's ticks until it finishes or `ticks` have passed.
Played Play(WavePlayer& player, int ticks)
{
    Played played;
    for (int tick = 0; tick < ticks && !played.finished; ++tick) {
        WavePlayer::Block block;
        block.fill(-1);
        switch (player.NextBlock(block)) {
        case WavePlayer::Tick::Block:
            played.samples.insert(played.samples.end(), block.begin(), block.end());
            ++played.blocks;
            break;
        case WavePlayer::Tick::Finished:
            played.finished = true;
            break;
        case WavePlayer::Tick::Nothing:
            break;
        }
    }
    return played;
}

} // namespace

TEST(WavePlayer, APcmFileOfTwoAndAHalfSecondsPlaysThenHalfASecondOfSilenceThenFinishes)
{
    TempDirectory directory;
    const std::string path = directory.File("tone.wav");
    const auto tone = Sine(440, 2.5);
    ASSERT_TRUE(WriteSoundFile(path, tone));
    WavePlayer player;
    ASSERT_EQ(player.Open(path), MediaOk);
    EXPECT_EQ(player.TotalSeconds(), 3);
    EXPECT_FALSE(player.IsPlaying());
    player.Start(false);
    EXPECT_TRUE(player.IsPlaying());
    const Played played = Play(player, 1000);
    EXPECT_TRUE(played.finished);
    ASSERT_EQ(played.blocks, 300);
    EXPECT_EQ(std::vector<std::int16_t>(played.samples.begin(), played.samples.begin() + 20000), tone);
    EXPECT_EQ(std::vector<std::int16_t>(played.samples.begin() + 20000, played.samples.end()),
              std::vector<std::int16_t>(4000, 0));
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(player.PositionSeconds(), 0);
    WavePlayer::Block block;
    EXPECT_EQ(player.NextBlock(block), WavePlayer::Tick::Nothing) << "it stays stopped";
}

TEST(WavePlayer, PauseKeepsThePositionStopRewindsSkipMoves)
{
    TempDirectory directory;
    const std::string path = directory.File("ramp.wav");
    std::vector<std::int16_t> ramp(8000 * 5);
    for (std::size_t n = 0; n < ramp.size(); ++n)
        ramp[n] = static_cast<std::int16_t>(n / 8);
    ASSERT_TRUE(WriteSoundFile(path, ramp));
    WavePlayer player;
    ASSERT_EQ(player.Open(path), MediaOk);
    player.Start(false);
    Play(player, 150);
    EXPECT_EQ(player.PositionSeconds(), 1);
    player.Pause();
    EXPECT_EQ(Play(player, 10).blocks, 0);
    EXPECT_EQ(player.PositionSeconds(), 1);
    player.Start(false);
    EXPECT_EQ(Play(player, 1).samples.front(), ramp[12000]) << "resumes where it paused";
    player.Stop();
    EXPECT_EQ(player.PositionSeconds(), 0);
    player.Start(false);
    EXPECT_EQ(Play(player, 1).samples.front(), ramp[0]) << "stop rewinds";
    player.SkipTo(3);
    EXPECT_EQ(player.PositionSeconds(), 3);
    EXPECT_EQ(Play(player, 1).samples.front(), ramp[24000]);
    player.SkipTo(99);
    EXPECT_EQ(player.PositionSeconds(), 5);
    EXPECT_TRUE(Play(player, 2).finished);
    player.SkipTo(-4);
    EXPECT_EQ(player.PositionSeconds(), 0);
}

TEST(WavePlayer, WithoutAFileOrWithAnEmptyOneStartChangesNothing)
{
    TempDirectory directory;
    WavePlayer player;
    player.Start(true);
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(player.TotalSeconds(), 0);
    player.SkipTo(2);
    EXPECT_EQ(player.PositionSeconds(), 0);
    const std::string empty = directory.File("empty.wav");
    ASSERT_TRUE(WriteSoundFile(empty, {}));
    ASSERT_EQ(player.Open(empty), MediaOk);
    player.Start(true);
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(player.Open(directory.File("missing.wav")), MediaCannotOpenFile);
    player.Start(true);
    EXPECT_FALSE(player.IsPlaying());
}

TEST(WavePlayer, ListeningHearsWhatIsSent)
{
    TempDirectory directory;
    const std::string path = directory.File("tone.wav");
    ASSERT_TRUE(WriteSoundFile(path, Sine(440, 1.0)));
    WavePlayer player;
    ASSERT_EQ(player.Open(path), MediaOk);
    player.Start(true);
    WavePlayer::Block sent, heard;
    ASSERT_EQ(player.NextBlock(sent), WavePlayer::Tick::Block);
    ASSERT_TRUE(player.ReadListen(heard));
    EXPECT_EQ(heard, sent);
    EXPECT_FALSE(player.ReadListen(heard));
    player.Start(false);
    ASSERT_EQ(player.NextBlock(sent), WavePlayer::Tick::Block);
    EXPECT_FALSE(player.ReadListen(heard));
}

TEST(WavePlayer, GsmAndFilesOfOtherRatesPlayAtTheRightPitchAndLength)
{
    TempDirectory directory;
    const std::string gsm = directory.File("gsm.wav");
    ASSERT_TRUE(WriteSoundFile(gsm, Sine(600, 2.0), 8000, 1, SF_FORMAT_GSM610));
    const std::string stereo = directory.File("stereo.wav");
    ASSERT_TRUE(WriteSoundFile(stereo, Sine(1000, 2.0, 44100, 2), 44100, 2));
    for (const auto& [path, frequency] : {std::pair{gsm, 600}, std::pair{stereo, 1000}}) {
        WavePlayer player;
        ASSERT_EQ(player.Open(path), MediaOk);
        EXPECT_EQ(player.TotalSeconds(), 2);
        player.Start(false);
        const Played played = Play(player, 1000);
        EXPECT_TRUE(played.finished);
        EXPECT_EQ(played.blocks, 200);
        const std::vector<std::int16_t> middle(played.samples.begin() + 4000, played.samples.begin() + 12000);
        EXPECT_EQ(DominantFrequency(middle), frequency) << path;
        EXPECT_GT(Rms(middle), 3000.0) << path;
    }
}
