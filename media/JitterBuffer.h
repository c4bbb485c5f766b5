#pragma once

#include "media/BlockFifo.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

// Turns received packets, which come late, early, twice or not at all, into a
// steady run of 10 ms blocks for the speaker. It fills up to a target depth, then
// plays the oldest packet each time the previous one is used up. A lost packet is
// covered by repeating the last one; so is a packet not there yet, but then the
// play position waits for it, so that a late packet still plays (the delay grows
// by the repeat) rather than being thrown away. After five plays of one packet the
// buffer has run dry and fills up to a target of 5 again. Every 100 packets the
// target comes down by one, to no less than 2, when every packet of the cycle found
// two more queued behind it; only packets the whole cycle did not need, but one,
// are then thrown away to cut the delay, so jitter keeps the depth it needs.
// Timestamps compare in 32-bit serial arithmetic, so a stream may wrap around.
// Beyond its target it keeps at most MaxBacklogMs of audio: a sender faster than
// real time neither fills memory nor builds up a delay that would then play.
// The sample buffers of packets that are done with are kept for the next ones, so
// a steady stream allocates nothing.
// Locked by itself: the receive and playback threads both call in.
class JitterBuffer {
public:
    static constexpr std::size_t BlockSamples = BlockFifo::BlockSamples;
    static constexpr int InitialTarget = 5;
    static constexpr int MinimumTarget = 2;
    // More packets queued than this make the next packet adapt the depth at once.
    static constexpr int MaxQueued = 10;
    static constexpr std::size_t MaxBacklogMs = 300;

    // Queues the decoded PCM of one received packet. Only whole 10 ms blocks are
    // kept; a packet without one is ignored. Playout order is by timestamp alone.
    void Insert(std::uint16_t sequence, int codec, std::uint32_t timestamp, std::span<const std::int16_t> pcm);
    // One 10 ms block for the speaker; false (block untouched) when there is nothing to play.
    bool Pull(std::span<std::int16_t, BlockSamples> block);
    // Back to the start state: nothing queued or pending, target 5, buffering.
    void Reset();
    // Discards the oldest queued packets until at most `maxQueued` remain, for a
    // line whose audio nobody pulls.
    void DropOldestBeyond(int maxQueued);

    // Blocks played again in place of a packet missing or not there yet, since the
    // buffer was made (Reset keeps the count).
    std::int64_t ConcealedBlocks() const;
    // The audio queued to play, in milliseconds: the delay the buffer adds now.
    double DelayMs() const;
    int QueuedCount() const;
    int TargetDepth() const;
    bool IsBuffering() const;

private:
    using Pcm = std::vector<std::int16_t>;

    struct Packet {
        std::uint32_t timestamp = 0;
        Pcm pcm;
    };

    static constexpr std::uint32_t SamplesPerMs = 8;
    static constexpr int AdaptationCycle = 100;
    static constexpr int MaxAdaptationDrops = 3;
    // Packets kept beyond the fewest a cycle needed behind the one it took.
    static constexpr int SparePackets = 1;
    // The last packet is played at most this often in a row (once plus 4 repeats).
    static constexpr int MaxPlays = 5;
    // What shortest_ holds while the cycle has taken no packet yet: more than a
    // queue being played from holds.
    static constexpr int NoTakeYet = MaxQueued + 1;
    // More late packets than this in a row mean the sender restarted its timestamps.
    static constexpr int MaxLateRun = MaxQueued;
    // Sample buffers kept for reuse.
    static constexpr std::size_t MaxSpare = 16;

    // Writes the next packet to play (or the one concealing a loss) into the fifo;
    // false when there is none.
    bool QueueNextPacket();
    void DiscardLate();
    void Adapt();
    bool WaitForNextPacket();
    bool PlayOrConceal();
    // The last packet plays again.
    void RepeatLast();
    bool IsPacketMissing() const;
    void TakeOldestAsPlayed();
    void DropOldest();
    void DropBacklog();
    std::size_t QueuedSamples() const;
    void StartOver();
    int Queued() const { return static_cast<int>(queue_.size()); }
    Pcm SpareCopyOf(std::span<const std::int16_t> samples);
    void Recycle(Pcm& pcm);

    mutable std::mutex mutex_;
    // Newest at the front, oldest at the back.
    std::vector<Packet> queue_;
    std::vector<Pcm> spare_;
    BlockFifo fifo_;
    int target_ = InitialTarget;
    std::optional<Packet> last_;
    int plays_ = 0;
    std::uint32_t durationMs_ = 0;
    // Timestamp of the last played or concealed packet; none at the start, when
    // no packet can be late yet.
    std::optional<std::uint32_t> playPosition_;
    bool buffering_ = true;
    int cycle_ = 0;
    // The fewest packets queued when a packet was taken in this cycle; 0 once the
    // cycle had to wait for one.
    int shortest_ = NoTakeYet;
    int lateRun_ = 0;
    std::int64_t concealedBlocks_ = 0;
};
