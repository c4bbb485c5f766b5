#include "media/JitterBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <thread>
#include <vector>

namespace {

// 20 ms packets: 160 samples, timestamp step 160. Every sample of a packet holds
// its sequence number, so a pulled block tells which packet it came from.
constexpr std::size_t PacketSamples = 160;
constexpr std::uint32_t Step = 160;
constexpr std::uint32_t FirstTimestamp = 1000;
constexpr int NothingPlayed = -1;
constexpr std::int16_t Untouched = -7;

void InsertContent(JitterBuffer& buffer, int content, std::uint32_t timestamp,
                   std::size_t samples = PacketSamples)
{
    const std::vector<std::int16_t> pcm(samples, static_cast<std::int16_t>(content));
    buffer.Insert(static_cast<std::uint16_t>(content), 3, timestamp, pcm);
}

void Insert(JitterBuffer& buffer, int sequence, std::uint32_t firstTimestamp = FirstTimestamp)
{
    InsertContent(buffer, sequence, firstTimestamp + static_cast<std::uint32_t>(sequence) * Step);
}

void InsertAll(JitterBuffer& buffer, std::initializer_list<int> sequences)
{
    for (int sequence : sequences)
        Insert(buffer, sequence);
}

// The packet a pulled block came from, or NothingPlayed.
int PullBlock(JitterBuffer& buffer)
{
    std::array<std::int16_t, JitterBuffer::BlockSamples> block;
    block.fill(Untouched);
    if (!buffer.Pull(block)) {
        EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](std::int16_t s) { return s == Untouched; }));
        return NothingPlayed;
    }
    EXPECT_TRUE(std::all_of(block.begin(), block.end(), [&](std::int16_t s) { return s == block[0]; }));
    return block[0];
}

std::vector<int> PullBlocks(JitterBuffer& buffer, int count)
{
    std::vector<int> played;
    for (int i = 0; i < count; ++i)
        played.push_back(PullBlock(buffer));
    return played;
}

// The stream as it arrives in real time: each 20 ms the speaker pulls two blocks,
// then the packet of that moment arrives.
std::vector<int> PlaySteadily(JitterBuffer& buffer, const std::vector<int>& arrivals,
                              std::uint32_t firstTimestamp = FirstTimestamp)
{
    std::vector<int> played;
    for (int sequence : arrivals) {
        played.push_back(PullBlock(buffer));
        played.push_back(PullBlock(buffer));
        Insert(buffer, sequence, firstTimestamp);
    }
    return played;
}

// The stream in real time, 20 ms at a time: the speaker pulls two blocks, then the
// packets of that moment arrive (none for a lost or delayed one, several in a burst).
std::vector<int> PlayInSlots(JitterBuffer& buffer, const std::vector<std::vector<int>>& slots)
{
    std::vector<int> played;
    for (const auto& arrivals : slots) {
        played.push_back(PullBlock(buffer));
        played.push_back(PullBlock(buffer));
        for (int sequence : arrivals)
            Insert(buffer, sequence);
    }
    return played;
}

std::vector<int> Range(int first, int end)
{
    std::vector<int> values;
    for (int value = first; value < end; ++value)
        values.push_back(value);
    return values;
}

std::vector<int> Without(std::vector<int> values, std::initializer_list<int> missing)
{
    std::erase_if(values, [&](int v) { return std::find(missing.begin(), missing.end(), v) != missing.end(); });
    return values;
}

std::vector<int> Join(std::vector<int> head, const std::vector<int>& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// Each packet of 20 ms plays as two blocks.
std::vector<int> Twice(const std::vector<int>& packets)
{
    std::vector<int> blocks;
    for (int packet : packets)
        blocks.insert(blocks.end(), {packet, packet});
    return blocks;
}

// Packets 0 .. count - 1, in order.
void InsertFirst(JitterBuffer& buffer, int count, std::uint32_t firstTimestamp = FirstTimestamp)
{
    for (int sequence = 0; sequence < count; ++sequence)
        Insert(buffer, sequence, firstTimestamp);
}

// Just enough to end the initial buffering.
void Prime(JitterBuffer& buffer, std::uint32_t firstTimestamp = FirstTimestamp)
{
    InsertFirst(buffer, JitterBuffer::InitialTarget, firstTimestamp);
}

} // namespace

TEST(JitterBuffer, StartsEmptyAndBuffering)
{
    JitterBuffer buffer;
    EXPECT_EQ(buffer.QueuedCount(), 0);
    EXPECT_EQ(buffer.TargetDepth(), 5);
    EXPECT_TRUE(buffer.IsBuffering());
    EXPECT_EQ(PullBlock(buffer), NothingPlayed);
}

TEST(JitterBuffer, SteadyStreamPlaysEveryBlockInOrderAfterBufferingFivePackets)
{
    JitterBuffer buffer;
    for (int sequence = 0; sequence < 4; ++sequence) {
        Insert(buffer, sequence);
        EXPECT_EQ(PullBlock(buffer), NothingPlayed) << sequence;
        EXPECT_TRUE(buffer.IsBuffering());
    }
    Insert(buffer, 4);
    EXPECT_EQ(PlaySteadily(buffer, Range(5, 60)), Twice(Range(0, 55)));
    EXPECT_FALSE(buffer.IsBuffering());
}

TEST(JitterBuffer, OneLostPacketIsConcealedByOneRepeatOfThePreviousOne)
{
    JitterBuffer buffer;
    Prime(buffer);
    const std::vector<int> played = PlaySteadily(buffer, Without(Range(5, 40), {10}));
    EXPECT_EQ(played, Twice(Join(Join(Range(0, 10), {9}), Range(11, 34))));
}

TEST(JitterBuffer, FourLostPacketsAreConcealedByFourRepeats)
{
    JitterBuffer buffer;
    InsertAll(buffer, {0, 1, 2, 3, 4, 9, 10});
    EXPECT_EQ(PullBlocks(buffer, 18), Twice({0, 1, 2, 3, 4, 4, 4, 4, 4}));
    EXPECT_EQ(PullBlocks(buffer, 2), Twice({9}));
    EXPECT_FALSE(buffer.IsBuffering());
}

TEST(JitterBuffer, FiveLostInARowEndInBufferingUntilTheTargetDepthIsQueuedAgain)
{
    JitterBuffer buffer;
    InsertAll(buffer, {0, 1, 2, 3, 4, 10, 11});
    // Four repeats of packet 4, then nothing.
    EXPECT_EQ(PullBlocks(buffer, 18), Twice({0, 1, 2, 3, 4, 4, 4, 4, 4}));
    EXPECT_EQ(PullBlock(buffer), NothingPlayed);
    EXPECT_TRUE(buffer.IsBuffering());
    EXPECT_EQ(buffer.QueuedCount(), 2);
    for (int sequence : {12, 13}) {
        Insert(buffer, sequence);
        EXPECT_EQ(PullBlock(buffer), NothingPlayed) << sequence;
    }
    Insert(buffer, 14);
    EXPECT_EQ(PullBlocks(buffer, 4), Twice({10, 11}));
    EXPECT_FALSE(buffer.IsBuffering());
}

TEST(JitterBuffer, RunningDryRepeatsTheLastPacketFourTimesThenBuffersAfresh)
{
    JitterBuffer buffer;
    Prime(buffer);
    EXPECT_EQ(PullBlocks(buffer, 18), Twice({0, 1, 2, 3, 4, 4, 4, 4, 4}));
    EXPECT_FALSE(buffer.IsBuffering()) << "still waiting for packet 5";
    EXPECT_EQ(PullBlock(buffer), NothingPlayed);
    EXPECT_TRUE(buffer.IsBuffering());
    EXPECT_EQ(buffer.TargetDepth(), 5);
    // Started over: a packet from before the last one played is no longer late.
    InsertAll(buffer, {1, 2, 3, 4});
    EXPECT_EQ(PullBlock(buffer), NothingPlayed);
    Insert(buffer, 5);
    EXPECT_EQ(PullBlock(buffer), 1);
}

TEST(JitterBuffer, APacketLateForItsTurnStillPlaysAfterTheRepeatThatWaitedForIt)
{
    JitterBuffer buffer;
    Prime(buffer);
    // Packets 5 and 6 come 40 ms late; 7 on time after them.
    const std::vector<int> played = PlayInSlots(buffer, {{}, {}, {}, {}, {}, {}, {5, 6}, {7}, {8}, {9}, {10}});
    EXPECT_EQ(played, Twice({0, 1, 2, 3, 4, 4, 4, 5, 6, 7, 8}));
    EXPECT_EQ(buffer.QueuedCount(), 2) << "the wait is kept as depth";
}

TEST(JitterBuffer, ALossAtTheSettledDepthIsConcealedWithoutBufferingAgain)
{
    JitterBuffer buffer;
    Prime(buffer);
    PlaySteadily(buffer, Range(5, 400));
    ASSERT_EQ(buffer.TargetDepth(), 2);
    ASSERT_EQ(buffer.QueuedCount(), 2);
    std::vector<std::vector<int>> slots;
    for (int sequence = 400; sequence < 420; ++sequence)
        slots.push_back(sequence == 405 ? std::vector<int>{} : std::vector<int>{sequence});
    EXPECT_EQ(PlayInSlots(buffer, slots), Twice(Join(Join(Range(398, 405), {404}), Range(406, 418))));
    EXPECT_FALSE(buffer.IsBuffering());
    EXPECT_EQ(buffer.TargetDepth(), 2);
}

TEST(JitterBuffer, ArrivalsInPairsKeepTheDepthTheyNeedAndPlayWithoutARepeat)
{
    JitterBuffer buffer;
    Prime(buffer);
    // Packets come two at a time every 40 ms, as from a sender or a network that bunches them.
    std::vector<std::vector<int>> slots;
    for (int sequence = 5; sequence < 1205; sequence += 2) {
        slots.push_back({});
        slots.push_back({sequence, sequence + 1});
    }
    const std::vector<int> played = PlayInSlots(buffer, slots);
    const std::vector<int> settled(played.end() - 800, played.end());
    EXPECT_EQ(settled, Twice(Range(settled.front(), settled.front() + 400)));
    EXPECT_FALSE(buffer.IsBuffering());
    // The queue swings by a packet, and one more is kept spare: a target of 3,
    // where a steady stream settles at 2.
    EXPECT_EQ(buffer.TargetDepth(), 3);
    EXPECT_LE(buffer.QueuedCount(), 3) << "the depth kept is no more than the bunching needs";
    EXPECT_EQ(settled.back() + buffer.QueuedCount(), 1204);
}

TEST(JitterBuffer, ReorderedAndDuplicatedPacketsPlayInOrderOnceEach)
{
    JitterBuffer buffer;
    InsertAll(buffer, {0, 2, 1, 1, 4, 3, 3, 5, 6, 7});
    // Then the last one plays again while the next is awaited.
    EXPECT_EQ(PullBlocks(buffer, 17), Join(Twice(Range(0, 8)), {7}));
}

TEST(JitterBuffer, OfTwoPacketsWithOneTimestampTheFirstArrivalPlays)
{
    JitterBuffer buffer;
    InsertContent(buffer, 0, FirstTimestamp);
    InsertContent(buffer, 50, FirstTimestamp);
    InsertAll(buffer, {1, 2, 3, 4});
    EXPECT_EQ(buffer.QueuedCount(), 6);
    EXPECT_EQ(PullBlocks(buffer, 2), Twice({0}));
    EXPECT_EQ(PullBlock(buffer), 1);
    EXPECT_EQ(buffer.QueuedCount(), 3) << "the second packet of the timestamp is discarded";
}

TEST(JitterBuffer, LatePacketsAreDropped)
{
    JitterBuffer buffer;
    Prime(buffer);
    EXPECT_EQ(PlaySteadily(buffer, {5, 6, 7}), Twice({0, 1, 2}));
    EXPECT_EQ(buffer.QueuedCount(), 5);
    InsertContent(buffer, 70, FirstTimestamp + 1 * Step);
    InsertContent(buffer, 72, FirstTimestamp + 2 * Step);
    EXPECT_EQ(buffer.QueuedCount(), 7);
    EXPECT_EQ(PullBlock(buffer), 3);
    EXPECT_EQ(buffer.QueuedCount(), 4);
    EXPECT_EQ(PlaySteadily(buffer, Range(8, 12)), Join({3}, Join(Twice({4, 5, 6}), {7})));
}

TEST(JitterBuffer, TargetAdaptsDownToTwoUnderASteadyStream)
{
    JitterBuffer buffer;
    Prime(buffer);
    std::vector<int> played;
    std::vector<int> targets;
    for (int sequence = 5; sequence < 455; ++sequence) {
        const std::vector<int> blocks = PlaySteadily(buffer, {sequence});
        played.insert(played.end(), blocks.begin(), blocks.end());
        targets.push_back(buffer.TargetDepth());
    }
    // The 100th packet lowers the target and throws one packet away, and so on
    // every 99 packets until the target is 2.
    EXPECT_EQ(targets[98], 5);
    EXPECT_EQ(targets[99], 4);
    EXPECT_EQ(targets[198], 3);
    EXPECT_EQ(targets[297], 2);
    EXPECT_EQ(targets.back(), 2);
    EXPECT_EQ(*std::min_element(targets.begin(), targets.end()), 2);
    EXPECT_EQ(played, Twice(Without(Range(0, 453), {99, 199, 299})));
    EXPECT_EQ(buffer.QueuedCount(), 2);
}

TEST(JitterBuffer, MoreThanTenQueuedForcesAdaptation)
{
    JitterBuffer buffer;
    InsertFirst(buffer, 11);
    // Too full to lower the target; the three oldest are thrown away.
    EXPECT_EQ(PullBlock(buffer), 3);
    EXPECT_EQ(buffer.QueuedCount(), 7);
    EXPECT_EQ(buffer.TargetDepth(), 5);
}

TEST(JitterBuffer, ADuplicateOfAPacketThrownAwayByAdaptationIsNotPlayed)
{
    JitterBuffer buffer;
    InsertAll(buffer, {0, 1, 2});
    InsertContent(buffer, 50, FirstTimestamp + 2 * Step);
    InsertAll(buffer, {3, 4, 5, 6, 7, 8, 9});
    EXPECT_EQ(PullBlocks(buffer, 4), Twice({3, 4}));
}

TEST(JitterBuffer, TenQueuedPlayFromTheOldest)
{
    JitterBuffer buffer;
    InsertFirst(buffer, 10);
    EXPECT_EQ(PullBlock(buffer), 0);
    EXPECT_EQ(buffer.QueuedCount(), 9);
}

TEST(JitterBuffer, DropOldestBeyondKeepsTheNewest)
{
    JitterBuffer buffer;
    InsertFirst(buffer, 18);
    buffer.DropOldestBeyond(40);
    EXPECT_EQ(buffer.QueuedCount(), 18);
    buffer.DropOldestBeyond(10);
    EXPECT_EQ(buffer.QueuedCount(), 10);
    // Packets 8..17 remain; the forced adaptation throws away 8, 9 and 10.
    EXPECT_EQ(PullBlock(buffer), 11);
}

TEST(JitterBuffer, ASenderFasterThanRealTimeBuildsNoBacklog)
{
    JitterBuffer buffer;
    Prime(buffer);
    PlaySteadily(buffer, Range(5, 20));
    // Ten seconds of packets in the time the speaker plays 100 ms.
    std::vector<int> played;
    for (int sequence = 20; sequence < 520; ++sequence) {
        Insert(buffer, sequence);
        if (sequence % 50 == 0)
            played.push_back(PullBlock(buffer));
        const std::size_t queuedMs = static_cast<std::size_t>(buffer.QueuedCount()) * 20;
        ASSERT_LE(queuedMs, static_cast<std::size_t>(buffer.TargetDepth()) * 20 + JitterBuffer::MaxBacklogMs)
            << sequence;
    }
    // Playout goes on from the newest packets: what arrives next plays within the
    // allowance, not after ten seconds of backlog.
    const std::vector<int> after = PlaySteadily(buffer, Range(520, 560));
    const auto first = std::find(after.begin(), after.end(), 520);
    ASSERT_NE(first, after.end());
    EXPECT_LE((first - after.begin()) * 10, static_cast<std::ptrdiff_t>(JitterBuffer::MaxBacklogMs + 5 * 20 + 40));
    EXPECT_TRUE(std::is_sorted(after.begin(), after.end()));
}

TEST(JitterBuffer, HugePacketsAreBoundedByTheirDuration)
{
    JitterBuffer buffer;
    // 250 ms per packet, as a datagram of 2000 PCMU bytes would carry.
    for (int sequence = 0; sequence < 40; ++sequence)
        InsertContent(buffer, sequence, FirstTimestamp + static_cast<std::uint32_t>(sequence) * 2000, 2000);
    EXPECT_LE(buffer.QueuedCount(), 6);
    EXPECT_EQ(PullBlock(buffer), 40 - buffer.QueuedCount());
}

TEST(JitterBuffer, DropOldestBeyondZeroOrLessEmptiesTheQueue)
{
    JitterBuffer buffer;
    Prime(buffer);
    buffer.DropOldestBeyond(0);
    EXPECT_EQ(buffer.QueuedCount(), 0);
    Prime(buffer);
    buffer.DropOldestBeyond(-3);
    EXPECT_EQ(buffer.QueuedCount(), 0);
}

TEST(JitterBuffer, ResetReturnsToTheStartState)
{
    JitterBuffer buffer;
    Prime(buffer);
    PlaySteadily(buffer, Range(5, 130));
    ASSERT_EQ(buffer.TargetDepth(), 4);
    EXPECT_EQ(PullBlock(buffer), 126) << "the first block of a packet leaves the second pending";
    buffer.Reset();
    EXPECT_EQ(buffer.QueuedCount(), 0);
    EXPECT_EQ(buffer.TargetDepth(), 5);
    EXPECT_TRUE(buffer.IsBuffering());
    EXPECT_EQ(PullBlock(buffer), NothingPlayed) << "the pending block is gone";
    // A new stream from an earlier timestamp is not late.
    Prime(buffer, 0);
    EXPECT_EQ(PlaySteadily(buffer, Range(5, 10), 0), Twice(Range(0, 5)));
}

TEST(JitterBuffer, AStreamStartingAtTimestampZeroPlaysItsFirstPacket)
{
    JitterBuffer buffer;
    Prime(buffer, 0);
    EXPECT_EQ(PlaySteadily(buffer, Range(5, 8), 0), Twice({0, 1, 2}));
}

TEST(JitterBuffer, StreamPlaysOnAcrossTheTimestampWrap)
{
    JitterBuffer buffer;
    // Packet 6 has timestamp 0; 6 arrives after 7, and 8 is lost.
    const std::uint32_t first = 0u - 6 * Step;
    Prime(buffer, first);
    const std::vector<int> played = PlaySteadily(buffer, Join({5, 7, 6}, Range(9, 30)), first);
    EXPECT_EQ(played, Twice(Join(Join(Range(0, 8), {7}), Range(9, 24))));
}

TEST(JitterBuffer, StreamRestartingBehindThePlayPositionPlaysAfterElevenLatePackets)
{
    JitterBuffer buffer;
    InsertAll(buffer, {0, 1, 2, 3, 4, 10, 11});
    PullBlocks(buffer, 19);
    ASSERT_TRUE(buffer.IsBuffering());
    // The sender starts over far behind: packet 100 lands 100 packets before packet 0.
    const std::uint32_t restartFirst = FirstTimestamp - 200 * Step;
    for (int sequence = 100; sequence < 111; ++sequence) {
        Insert(buffer, sequence, restartFirst);
        EXPECT_EQ(PullBlock(buffer), NothingPlayed) << "late " << sequence;
    }
    for (int sequence = 111; sequence < 115; ++sequence) {
        Insert(buffer, sequence, restartFirst);
        EXPECT_EQ(PullBlock(buffer), NothingPlayed) << "buffering " << sequence;
    }
    EXPECT_EQ(buffer.QueuedCount(), 4);
    Insert(buffer, 115, restartFirst);
    EXPECT_EQ(PullBlocks(buffer, 4), Twice({111, 112}));
}

TEST(JitterBuffer, ThirtyMillisecondPacketsConcealALossWithOneRepeat)
{
    JitterBuffer buffer;
    constexpr std::uint32_t ilbcStep = 240;
    for (int sequence : {0, 1, 2, 4, 5, 6})
        InsertContent(buffer, sequence, FirstTimestamp + static_cast<std::uint32_t>(sequence) * ilbcStep, 240);
    std::vector<int> expected;
    for (int packet : {0, 1, 2, 2, 4, 5})
        expected.insert(expected.end(), {packet, packet, packet});
    EXPECT_EQ(PullBlocks(buffer, 18), expected);
}

TEST(JitterBuffer, OnlyWholeBlocksAreKept)
{
    JitterBuffer buffer;
    InsertContent(buffer, 1, FirstTimestamp, 79);
    InsertContent(buffer, 2, FirstTimestamp + Step, 0);
    EXPECT_EQ(buffer.QueuedCount(), 0);
    for (int sequence = 0; sequence < 5; ++sequence)
        InsertContent(buffer, sequence, FirstTimestamp + static_cast<std::uint32_t>(sequence) * Step, 170);
    EXPECT_EQ(PullBlocks(buffer, 3), (std::vector<int>{0, 0, 1}));
}

TEST(JitterBuffer, ConcurrentInsertAndPullPlayInOrder)
{
    JitterBuffer buffer;
    constexpr int packets = 2000;
    std::thread receiver([&buffer] { InsertFirst(buffer, packets); });
    std::vector<int> played;
    for (int i = 0; i < 2 * packets; ++i) {
        if (const int packet = PullBlock(buffer); packet != NothingPlayed)
            played.push_back(packet);
    }
    receiver.join();
    EXPECT_TRUE(std::is_sorted(played.begin(), played.end()));
}
