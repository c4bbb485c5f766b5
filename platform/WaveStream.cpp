#include "platform/WaveStream.h"

#include <algorithm>
#include <array>

namespace {
constexpr std::size_t BlockSamples = 80;
constexpr int BoostFactor = 10; // +20 dB
} // namespace

WaveStream::WaveStream(WaveDirection direction, std::unique_ptr<WaveTransport> transport, WaveCallback callback)
    : direction_(direction), transport_(std::move(transport)), callback_(std::move(callback)),
      worker_([this] { Run(); })
{
}

WaveStream::~WaveStream()
{
    Close();
}

bool WaveStream::Queue(WaveBlock* block)
{
    std::lock_guard lock(mutex_);
    if (closing_ || block == nullptr)
        return false;
    queue_.push_back(block);
    return true;
}

bool WaveStream::Start()
{
    std::lock_guard lock(mutex_);
    if (started_ || closing_)
        return started_;
    started_ = transport_->Start();
    changed_.notify_all();
    return started_;
}

void WaveStream::Reset()
{
    std::unique_lock lock(mutex_);
    if (closing_)
        return;
    resetRequested_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !resetRequested_; });
}

void WaveStream::Close()
{
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        changed_.notify_all();
    }
    if (worker_.joinable())
        worker_.join();
}

void WaveStream::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return started_ || closing_ || resetRequested_; });
        if (resetRequested_) {
            ReturnQueued(lock);
            resetRequested_ = false;
            changed_.notify_all();
            continue;
        }
        if (closing_)
            break;
        WaveBlock* block = TakeNextBlock();
        lock.unlock();
        Move(block);
        if (block != nullptr)
            callback_(WaveNotice::BlockDone, block);
        lock.lock();
    }
    ReturnQueued(lock);
    lock.unlock();
    callback_(WaveNotice::Closed, nullptr);
}

WaveBlock* WaveStream::TakeNextBlock()
{
    if (queue_.empty())
        return nullptr;
    WaveBlock* block = queue_.front();
    queue_.pop_front();
    return block;
}

void WaveStream::ReturnQueued(std::unique_lock<std::mutex>& lock)
{
    std::deque<WaveBlock*> returned;
    returned.swap(queue_);
    lock.unlock();
    for (WaveBlock* block : returned) {
        block->bytesRecorded = 0;
        callback_(WaveNotice::BlockDone, block);
    }
    lock.lock();
}

// Moves one 10 ms block through the transport; without a queued block capture is
// thrown away and playback is silence, so the device keeps its pace.
void WaveStream::Move(WaveBlock* block)
{
    std::array<std::int16_t, BlockSamples> samples{};
    const std::size_t available = block != nullptr ? std::min(block->bytes / 2, BlockSamples) : 0;
    if (direction_ == WaveDirection::Playback) {
        std::copy_n(block != nullptr ? block->data : samples.data(), available, samples.begin());
        ApplyGain(samples);
        transport_->Transfer(samples);
        return;
    }
    const std::size_t moved = std::min(transport_->Transfer(samples), available);
    if (block == nullptr)
        return;
    ApplyGain(std::span(samples).first(moved));
    std::copy_n(samples.begin(), moved, block->data);
    block->bytesRecorded = moved * 2;
}

void WaveStream::ApplyGain(std::span<std::int16_t> samples) const
{
    const std::int64_t volume = volume_;
    const std::int64_t boost = direction_ == WaveDirection::Capture && boost_ ? BoostFactor : 1;
    if (volume == FullVolume && boost == 1)
        return;
    for (auto& sample : samples) {
        const std::int64_t scaled = sample * volume * boost / FullVolume;
        sample = static_cast<std::int16_t>(std::clamp<std::int64_t>(scaled, INT16_MIN, INT16_MAX));
    }
}
