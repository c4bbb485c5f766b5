#include "platform/WaveStream.h"

#include "platform/DevicePacer.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Moves blocks as fast as asked, with a short sleep so a test can catch it mid-way.
class FakeTransport : public WaveTransport {
public:
    explicit FakeTransport(std::int16_t value, std::vector<std::int16_t>* played = nullptr)
        : value_(value), played_(played)
    {
    }
    bool Start() override { return true; }
    std::size_t Transfer(std::span<std::int16_t> samples) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (played_ != nullptr)
            played_->insert(played_->end(), samples.begin(), samples.end());
        else
            std::fill(samples.begin(), samples.end(), value_);
        return samples.size();
    }

private:
    std::int16_t value_;
    std::vector<std::int16_t>* played_;
};

struct Buffers {
    std::array<std::array<std::int16_t, 80>, 4> data{};
    std::array<WaveBlock, 4> blocks{};
    Buffers()
    {
        for (std::size_t i = 0; i < blocks.size(); ++i)
            blocks[i] = {data[i].data(), 160, 0, static_cast<int>(i)};
    }
};

struct Notices {
    std::atomic<int> done{0};
    std::atomic<int> played{0};
    std::atomic<int> underruns{0};
    std::atomic<int> closed{0};
    std::atomic<bool> afterClose{false};
    WaveCallback Callback()
    {
        return [this](WaveNotice notice, WaveBlock* block) {
            if (closed > 0)
                afterClose = true;
            if (notice == WaveNotice::BlockDone) {
                ++done;
                played += block->bytesRecorded > 0;
            } else if (notice == WaveNotice::Underrun) {
                ++underruns;
            } else {
                ++closed;
            }
        };
    }
};

// A device that takes blocks for a while, then refuses them, as one that went away.
class RefusingTransport : public WaveTransport {
public:
    explicit RefusingTransport(int accepted) : accepted_(accepted) {}
    bool Start() override { return true; }
    std::size_t Transfer(std::span<std::int16_t> samples) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return accepted_-- > 0 ? samples.size() : 0;
    }

private:
    int accepted_;
};

} // namespace

TEST(WaveStream, CaptureFillsQueuedBlocksInOrder)
{
    Buffers buffers;
    std::vector<int> order;
    std::atomic<int> done{0};
    WaveStream stream(WaveDirection::Capture, std::make_unique<FakeTransport>(1000),
                      [&](WaveNotice notice, WaveBlock* block) {
                          if (notice == WaveNotice::BlockDone) {
                              order.push_back(block->slot);
                              ++done;
                          }
                      });
    for (auto& block : buffers.blocks)
        ASSERT_TRUE(stream.Queue(&block));
    ASSERT_TRUE(stream.Start());
    while (done < 4)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stream.Close();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(buffers.blocks[2].bytesRecorded, 160u);
    EXPECT_EQ(buffers.data[2][79], 1000);
}

TEST(WaveStream, NothingMovesBeforeStart)
{
    Buffers buffers;
    Notices notices;
    WaveStream stream(WaveDirection::Capture, std::make_unique<FakeTransport>(1), notices.Callback());
    stream.Queue(&buffers.blocks[0]);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(notices.done, 0);
    stream.Reset();
    EXPECT_EQ(notices.done, 1);
    EXPECT_EQ(buffers.blocks[0].bytesRecorded, 0u);
}

TEST(WaveStream, ResetHandsBackEveryQueuedBlock)
{
    Buffers buffers;
    Notices notices;
    WaveStream stream(WaveDirection::Playback, std::make_unique<FakeTransport>(0), notices.Callback());
    for (auto& block : buffers.blocks)
        stream.Queue(&block);
    stream.Start();
    stream.Reset();
    EXPECT_EQ(notices.done, 4);
    EXPECT_EQ(notices.closed, 0);
}

TEST(WaveStream, PlaybackTellsWhichBlocksPlayedAndWhenItRanOutOfThem)
{
    Buffers buffers;
    Notices notices;
    WaveStream stream(WaveDirection::Playback, std::make_unique<RefusingTransport>(2), notices.Callback());
    for (auto& block : buffers.blocks)
        stream.Queue(&block);
    ASSERT_TRUE(stream.Start());
    for (int tries = 0; tries < 500 && notices.underruns < 3; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stream.Close();
    EXPECT_EQ(notices.done, 4);
    EXPECT_EQ(notices.played, 2) << "the blocks the device refused come back unplayed";
    EXPECT_EQ(buffers.blocks[1].bytesRecorded, 160u);
    EXPECT_EQ(buffers.blocks[2].bytesRecorded, 0u);
    EXPECT_GE(notices.underruns, 3) << "with nothing queued the device plays silence and says so";
}

TEST(WaveStream, CloseDeliversClosedLastAndNothingAfterwards)
{
    Buffers buffers;
    Notices notices;
    auto stream = std::make_unique<WaveStream>(WaveDirection::Playback, std::make_unique<FakeTransport>(0),
                                               notices.Callback());
    for (auto& block : buffers.blocks)
        stream->Queue(&block);
    stream->Start();
    stream->Close();
    EXPECT_EQ(notices.done, 4);
    EXPECT_EQ(notices.closed, 1);
    EXPECT_FALSE(stream->Queue(&buffers.blocks[0]));
    stream.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(notices.closed, 1);
    EXPECT_FALSE(notices.afterClose);
}

TEST(WaveStream, PlaybackAppliesTheVolume)
{
    Buffers buffers;
    buffers.data[0].fill(10000);
    std::vector<std::int16_t> played;
    std::atomic<int> done{0};
    WaveStream stream(WaveDirection::Playback, std::make_unique<FakeTransport>(0, &played),
                      [&](WaveNotice notice, WaveBlock*) { done += notice == WaveNotice::BlockDone; });
    stream.SetVolume(WaveStream::FullVolume / 2);
    stream.Queue(&buffers.blocks[0]);
    stream.Start();
    while (done < 1)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stream.Close();
    ASSERT_GE(played.size(), 80u);
    EXPECT_EQ(played[0], 4999);
    EXPECT_EQ(buffers.data[0][0], 10000) << "the caller's block is not changed";
}

TEST(WaveStream, CaptureBoostAddsTwentyDecibelsAndSaturates)
{
    Buffers buffers;
    std::atomic<int> done{0};
    WaveStream stream(WaveDirection::Capture, std::make_unique<FakeTransport>(1000),
                      [&](WaveNotice notice, WaveBlock*) { done += notice == WaveNotice::BlockDone; });
    stream.SetBoost(true);
    stream.Queue(&buffers.blocks[0]);
    stream.Start();
    while (done < 1)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(buffers.data[0][0], 10000);
    stream.Reset();
    stream.Close();

    WaveStream loud(WaveDirection::Capture, std::make_unique<FakeTransport>(5000),
                    [&](WaveNotice notice, WaveBlock*) { done += notice == WaveNotice::BlockDone; });
    loud.SetBoost(true);
    loud.Queue(&buffers.blocks[1]);
    loud.Start();
    while (done < 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(buffers.data[1][0], 32767);
}

namespace {

// What a stream on a pacer hands back: the direction and thread of each notice.
struct PacedLog {
    std::mutex mutex;
    std::vector<std::pair<WaveDirection, std::thread::id>> done;
    std::atomic<int> captures{0};
    std::atomic<int> closed{0};
    std::atomic<bool> afterClose{false};

    // Queues every finished block again while `requeue` holds.
    WaveCallback Callback(WaveDirection direction, std::unique_ptr<WaveStream>& stream, std::atomic<bool>& requeue)
    {
        auto streamClosed = std::make_shared<std::atomic<bool>>(false);
        return [this, direction, &stream, &requeue, streamClosed](WaveNotice notice, WaveBlock* block) {
            if (*streamClosed)
                afterClose = true;
            if (notice == WaveNotice::Closed) {
                *streamClosed = true;
                ++closed;
                return;
            }
            if (notice != WaveNotice::BlockDone)
                return;
            {
                std::lock_guard lock(mutex);
                done.emplace_back(direction, std::this_thread::get_id());
            }
            captures += direction == WaveDirection::Capture;
            if (requeue)
                stream->Queue(block);
        };
    }
};

} // namespace

TEST(WaveStream, OnePacerMovesCaptureThenPlaybackEachTickOnOneThreadWhileAStreamRuns)
{
    DevicePacer pacer;
    PacedLog log;
    Buffers captureBuffers;
    Buffers playbackBuffers;
    std::atomic<bool> requeue{true};
    std::unique_ptr<WaveStream> capture;
    std::unique_ptr<WaveStream> playback;
    capture = std::make_unique<WaveStream>(WaveDirection::Capture, std::make_unique<FakeTransport>(5),
                                           log.Callback(WaveDirection::Capture, capture, requeue), &pacer);
    playback = std::make_unique<WaveStream>(WaveDirection::Playback, std::make_unique<FakeTransport>(0),
                                            log.Callback(WaveDirection::Playback, playback, requeue), &pacer);
    for (std::size_t at = 0; at < 2; ++at) {
        capture->Queue(&captureBuffers.blocks[at]);
        playback->Queue(&playbackBuffers.blocks[at]);
    }
    EXPECT_FALSE(pacer.IsRunning()) << "no thread before a stream starts";
    ASSERT_TRUE(playback->Start());
    EXPECT_TRUE(pacer.IsRunning());
    ASSERT_TRUE(capture->Start());
    for (int tries = 0; tries < 300 && log.captures < 8; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    requeue = false;
    capture->Close();
    EXPECT_TRUE(pacer.IsRunning()) << "the playback still runs";
    playback->Reset();
    playback->Close();
    EXPECT_FALSE(pacer.IsRunning()) << "the thread ends with the last stream";
    EXPECT_EQ(log.closed, 2);

    std::lock_guard lock(log.mutex);
    ASSERT_GE(log.captures, 8);
    std::size_t first = 0;
    while (first < log.done.size() && log.done[first].first != WaveDirection::Capture)
        ++first;
    const auto pacerThread = log.done.front().second;
    EXPECT_NE(pacerThread, std::this_thread::get_id());
    ASSERT_GE(log.done.size(), first + 12);
    for (std::size_t at = first; at < first + 12; at += 2) {
        EXPECT_EQ(log.done[at].first, WaveDirection::Capture);
        EXPECT_EQ(log.done[at + 1].first, WaveDirection::Playback) << "each tick captures, then plays";
        EXPECT_EQ(log.done[at].second, pacerThread);
        EXPECT_EQ(log.done[at + 1].second, pacerThread);
    }
    EXPECT_FALSE(log.afterClose);
}

TEST(WaveStream, APacedStreamMovesNothingBeforeStartAndClosesOnce)
{
    DevicePacer pacer;
    Buffers buffers;
    Notices notices;
    auto stream = std::make_unique<WaveStream>(WaveDirection::Capture, std::make_unique<FakeTransport>(3),
                                               notices.Callback(), &pacer);
    stream->Queue(&buffers.blocks[0]);
    stream->Queue(&buffers.blocks[1]);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(notices.done, 0);
    EXPECT_FALSE(pacer.IsRunning());
    stream->Reset();
    EXPECT_EQ(notices.done, 2) << "handed back at once, on the caller's thread";
    EXPECT_EQ(buffers.blocks[0].bytesRecorded, 0u);
    stream->Queue(&buffers.blocks[2]);
    stream->Close();
    EXPECT_EQ(notices.done, 3);
    EXPECT_EQ(notices.closed, 1);
    EXPECT_FALSE(stream->Queue(&buffers.blocks[0]));
    EXPECT_FALSE(stream->Start());
    stream.reset();
    EXPECT_EQ(notices.closed, 1);
    EXPECT_FALSE(notices.afterClose);
}

namespace {

// The moments a paced capture stream hands its blocks back, queued again each time.
struct CaptureTimes {
    std::mutex mutex;
    std::vector<std::chrono::steady_clock::time_point> done;
    std::unique_ptr<WaveStream> stream;

    WaveCallback Callback()
    {
        return [this](WaveNotice notice, WaveBlock* block) {
            if (notice != WaveNotice::BlockDone)
                return;
            std::lock_guard lock(mutex);
            done.push_back(std::chrono::steady_clock::now());
            if (block->bytesRecorded > 0)
                stream->Queue(block);
        };
    }
    std::size_t Count()
    {
        std::lock_guard lock(mutex);
        return done.size();
    }
    // Blocks handed back more than 5 ms after the one before start a wake-up; the
    // blocks of one wake-up follow one another at once.
    int WakesFrom(std::size_t first)
    {
        std::lock_guard lock(mutex);
        int wakes = 0;
        for (std::size_t at = first; at < done.size(); ++at)
            wakes += at == 0 || done[at] - done[at - 1] > std::chrono::milliseconds(5);
        return wakes;
    }
};

void WaitForCaptures(CaptureTimes& times, std::size_t count)
{
    for (int tries = 0; tries < 300 && times.Count() < count; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

} // namespace

TEST(WaveStream, APacerMovesTwoBlocksPerWakeOnlyWhileEveryStreamAllowsIt)
{
    DevicePacer pacer;
    CaptureTimes times;
    Buffers buffers;
    times.stream = std::make_unique<WaveStream>(WaveDirection::Capture, std::make_unique<FakeTransport>(7),
                                                times.Callback(), &pacer);
    times.stream->SetBlocksPerWake(2);
    for (WaveBlock& block : buffers.blocks)
        times.stream->Queue(&block);
    ASSERT_TRUE(times.stream->Start());
    WaitForCaptures(times, 3);
    const std::size_t paired = times.Count();
    WaitForCaptures(times, paired + 20);
    // 20 blocks are 10 wake-ups; a thread held up catches up back to back, which
    // only merges wake-ups.
    EXPECT_LE(times.WakesFrom(paired), 13) << "two blocks per wake-up";

    Buffers playbackBuffers;
    Notices playbackNotices;
    WaveStream playback(WaveDirection::Playback, std::make_unique<FakeTransport>(0), playbackNotices.Callback(),
                        &pacer);
    ASSERT_TRUE(playback.Start());
    WaitForCaptures(times, times.Count() + 3);
    const std::size_t single = times.Count();
    WaitForCaptures(times, single + 20);
    EXPECT_GE(times.WakesFrom(single), 14) << "a stream that wants a block per wake-up sets the pace";
    playback.Close();
    times.stream->Close();
    EXPECT_FALSE(pacer.IsRunning());
}
