#include "media/JitterBuffer.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Signed distance from `earlier` to `later` in timestamp units, modulo 2^32.
std::int32_t TimestampDistance(std::uint32_t later, std::uint32_t earlier)
{
    return static_cast<std::int32_t>(later - earlier);
}

bool IsNewer(std::uint32_t timestamp, std::uint32_t reference)
{
    return TimestampDistance(timestamp, reference) > 0;
}

} // namespace

void JitterBuffer::Insert([[maybe_unused]] std::uint16_t sequence, [[maybe_unused]] int codec,
                          std::uint32_t timestamp, std::span<const std::int16_t> pcm)
{
    const std::size_t wholeSamples = pcm.size() / BlockSamples * BlockSamples;
    // A packet without a whole block has no duration, which would read as a loss forever.
    if (wholeSamples == 0)
        return;
    std::lock_guard lock(mutex_);
    // In front of the first packet not newer than this one: equal timestamps keep
    // the newer arrival nearer the front, so the first arrival plays.
    const auto at = std::find_if(queue_.begin(), queue_.end(),
                                 [timestamp](const Packet& queued) { return !IsNewer(queued.timestamp, timestamp); });
    queue_.insert(at, Packet{timestamp, SpareCopyOf(pcm.first(wholeSamples))});
    DropBacklog();
    if (Queued() > MaxQueued)
        cycle_ = AdaptationCycle;
}

// The oldest packets beyond the target and the backlog allowance count as played,
// so playout goes on from the newest without reporting them lost.
void JitterBuffer::DropBacklog()
{
    const std::size_t targetSamples = static_cast<std::size_t>(target_) * queue_.front().pcm.size();
    const std::size_t limit = targetSamples + MaxBacklogMs * SamplesPerMs;
    while (Queued() > 1 && QueuedSamples() > limit)
        TakeOldestAsPlayed();
}

std::size_t JitterBuffer::QueuedSamples() const
{
    std::size_t samples = 0;
    for (const Packet& packet : queue_)
        samples += packet.pcm.size();
    return samples;
}

bool JitterBuffer::Pull(std::span<std::int16_t, BlockSamples> block)
{
    std::lock_guard lock(mutex_);
    if (fifo_.SizeBytes() < BlockFifo::BlockBytes && !QueueNextPacket())
        return false;
    return fifo_.Read(block) == BlockSamples;
}

void JitterBuffer::Reset()
{
    std::lock_guard lock(mutex_);
    fifo_.Clear();
    StartOver();
}

void JitterBuffer::DropOldestBeyond(int maxQueued)
{
    std::lock_guard lock(mutex_);
    while (!queue_.empty() && Queued() > maxQueued)
        DropOldest();
}

std::int64_t JitterBuffer::ConcealedBlocks() const
{
    std::lock_guard lock(mutex_);
    return concealedBlocks_;
}

double JitterBuffer::DelayMs() const
{
    std::lock_guard lock(mutex_);
    return static_cast<double>(QueuedSamples() + fifo_.SizeBytes() / 2) / SamplesPerMs;
}

int JitterBuffer::QueuedCount() const
{
    std::lock_guard lock(mutex_);
    return Queued();
}

int JitterBuffer::TargetDepth() const
{
    std::lock_guard lock(mutex_);
    return target_;
}

bool JitterBuffer::IsBuffering() const
{
    std::lock_guard lock(mutex_);
    return buffering_;
}

bool JitterBuffer::QueueNextPacket()
{
    DiscardLate();
    if (buffering_ && Queued() >= target_)
        buffering_ = false;
    if (buffering_)
        return false;
    if (cycle_ >= AdaptationCycle - 1)
        Adapt();
    if (queue_.empty())
        return WaitForNextPacket();
    return PlayOrConceal();
}

void JitterBuffer::DiscardLate()
{
    while (!queue_.empty() && playPosition_ && !IsNewer(queue_.back().timestamp, *playPosition_)) {
        DropOldest();
        // So many late ones in a row: the sender restarted its timestamps behind
        // the play position, and only starting afresh lets its stream play.
        if (++lateRun_ > MaxLateRun)
            StartOver();
    }
}

// Of the packets every take of the cycle found queued beyond the one it took, one
// stays as a spare against jitter a little larger than the cycle's; only the rest
// may be thrown away, and only then does the target come down. A flood (more
// than MaxQueued) is cut all the same.
void JitterBuffer::Adapt()
{
    const int unneeded = shortest_ - 1 - SparePackets;
    const int spare = Queued() > MaxQueued ? MaxAdaptationDrops : std::min(MaxAdaptationDrops, unneeded);
    if (Queued() <= target_ + 2 && unneeded > 0)
        target_ = std::max(target_ - 1, MinimumTarget);
    for (int dropped = 0; dropped < spare && Queued() > target_; ++dropped)
        TakeOldestAsPlayed();
    // A dropped packet may share its timestamp with the next one.
    DiscardLate();
    shortest_ = NoTakeYet;
    // Becomes 1 once this packet is played.
    cycle_ = AdaptationCycle;
}

// Nothing queued: the last packet plays again while the play position waits, so
// the next packet still plays when it comes; after five plays the buffer has run
// dry and fills up again.
bool JitterBuffer::WaitForNextPacket()
{
    if (!last_ || plays_ >= MaxPlays) {
        StartOver();
        return false;
    }
    ++plays_;
    shortest_ = 0;
    cycle_ = (cycle_ + 1) % AdaptationCycle;
    RepeatLast();
    return true;
}

void JitterBuffer::RepeatLast()
{
    concealedBlocks_ += static_cast<std::int64_t>(last_->pcm.size() / BlockSamples);
    fifo_.Write(last_->pcm);
}

bool JitterBuffer::PlayOrConceal()
{
    if (last_ && IsPacketMissing()) {
        if (plays_ >= MaxPlays) {
            Recycle(last_->pcm);
            last_.reset();
            buffering_ = true;
            return false;
        }
        ++plays_;
        *playPosition_ += SamplesPerMs * durationMs_;
        cycle_ = (cycle_ + 1) % AdaptationCycle;
        RepeatLast();
        return true;
    }
    shortest_ = std::min(shortest_, Queued());
    TakeOldestAsPlayed();
    cycle_ = (cycle_ + 1) % AdaptationCycle;
    fifo_.Write(last_->pcm);
    return true;
}

bool JitterBuffer::IsPacketMissing() const
{
    const std::int64_t distance = std::abs(static_cast<std::int64_t>(
        TimestampDistance(queue_.back().timestamp, last_->timestamp)));
    const std::int64_t gapMs = (distance + SamplesPerMs / 2) / SamplesPerMs;
    const auto duration = static_cast<std::int64_t>(durationMs_);
    return gapMs - plays_ * duration >= duration;
}

void JitterBuffer::TakeOldestAsPlayed()
{
    if (last_)
        Recycle(last_->pcm);
    last_ = std::move(queue_.back());
    queue_.pop_back();
    durationMs_ = static_cast<std::uint32_t>(last_->pcm.size()) / SamplesPerMs;
    playPosition_ = last_->timestamp;
    plays_ = 1;
    lateRun_ = 0;
}

void JitterBuffer::DropOldest()
{
    Recycle(queue_.back().pcm);
    queue_.pop_back();
}

void JitterBuffer::StartOver()
{
    for (Packet& packet : queue_)
        Recycle(packet.pcm);
    queue_.clear();
    if (last_)
        Recycle(last_->pcm);
    last_.reset();
    plays_ = 0;
    durationMs_ = 0;
    playPosition_.reset();
    lateRun_ = 0;
    target_ = InitialTarget;
    buffering_ = true;
    cycle_ = 0;
    shortest_ = NoTakeYet;
}

JitterBuffer::Pcm JitterBuffer::SpareCopyOf(std::span<const std::int16_t> samples)
{
    Pcm pcm;
    if (!spare_.empty()) {
        pcm.swap(spare_.back());
        spare_.pop_back();
    }
    pcm.assign(samples.begin(), samples.end());
    return pcm;
}

// Keeps the buffer (emptied) for a later packet; beyond MaxSpare it is let go.
void JitterBuffer::Recycle(Pcm& pcm)
{
    if (spare_.size() >= MaxSpare || pcm.capacity() == 0)
        return;
    if (spare_.capacity() < MaxSpare)
        spare_.reserve(MaxSpare);
    spare_.emplace_back().swap(pcm);
    spare_.back().clear();
}
