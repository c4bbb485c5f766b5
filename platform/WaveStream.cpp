#include "platform/WaveStream.h"

#include "platform/DevicePacer.h"

#include <algorithm>
#include <array>

namespace {
constexpr std::size_t BlockSamples = 80;
constexpr int BoostFactor = 10; // +20 dB
} // namespace

WaveStream::WaveStream(WaveDirection direction, std::unique_ptr<WaveTransport> transport, WaveCallback callback,
                       DevicePacer* pacer)
    : direction_(direction), transport_(std::move(transport)), callback_(std::move(callback)), pacer_(pacer)
{
    if (pacer_ == nullptr)
        worker_ = std::thread([this] { Run(); });
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
    {
        std::lock_guard lock(mutex_);
        if (started_ || closing_)
            return started_;
        started_ = transport_->Start();
        changed_.notify_all();
        if (!started_ || pacer_ == nullptr)
            return started_;
    }
    pacer_->Attach(*this);
    return true;
}

void WaveStream::Reset()
{
    if (pacer_ != nullptr) {
        const auto held = pacer_->HoldSteps();
        std::unique_lock lock(mutex_);
        if (!closing_)
            ReturnQueued(lock);
        return;
    }
    std::unique_lock lock(mutex_);
    if (closing_)
        return;
    resetRequested_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !resetRequested_; });
}

void WaveStream::Close()
{
    if (pacer_ != nullptr) {
        ClosePaced();
        return;
    }
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        changed_.notify_all();
    }
    if (worker_.joinable())
        worker_.join();
}

void WaveStream::ClosePaced()
{
    {
        std::lock_guard lock(mutex_);
        if (closedNoticed_)
            return;
        closing_ = true;
        closedNoticed_ = true;
    }
    pacer_->Detach(*this);
    std::unique_lock lock(mutex_);
    ReturnQueued(lock);
    lock.unlock();
    callback_(WaveNotice::Closed, nullptr);
}

void WaveStream::Step()
{
    std::unique_lock lock(mutex_);
    if (started_ && !closing_)
        MoveOne(lock);
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
        MoveOne(lock);
    }
    ReturnQueued(lock);
    lock.unlock();
    callback_(WaveNotice::Closed, nullptr);
}

void WaveStream::MoveOne(std::unique_lock<std::mutex>& lock)
{
    WaveBlock* block = TakeNextBlock();
    lock.unlock();
    const std::size_t moved = Move(block);
    if (block != nullptr) {
        block->bytesRecorded = moved * 2;
        callback_(WaveNotice::BlockDone, block);
    } else if (direction_ == WaveDirection::Playback) {
        callback_(WaveNotice::Underrun, nullptr);
    }
    lock.lock();
}

WaveBlock* WaveStream::TakeNextBlock()
{
    if (queue_.empty())
        return nullptr;
    WaveBlock* block = queue_.front();
    queue_.pop_front();
    return block;
}

// One block at a time, in queue order: the callback may queue again, and those
// blocks were not queued when the hand-back began, so they stay.
void WaveStream::ReturnQueued(std::unique_lock<std::mutex>& lock)
{
    for (std::size_t left = queue_.size(); left > 0 && !queue_.empty(); --left) {
        WaveBlock* block = TakeNextBlock();
        lock.unlock();
        block->bytesRecorded = 0;
        callback_(WaveNotice::BlockDone, block);
        lock.lock();
    }
}

// Moves one 10 ms block through the transport; without a queued block capture is
// thrown away and playback is silence, so the device keeps its pace.
std::size_t WaveStream::Move(WaveBlock* block)
{
    std::array<std::int16_t, BlockSamples> samples{};
    const std::size_t available = block != nullptr ? std::min(block->bytes / 2, BlockSamples) : 0;
    if (direction_ == WaveDirection::Playback) {
        std::copy_n(block != nullptr ? block->data : samples.data(), available, samples.begin());
        ApplyGain(samples);
        return std::min(transport_->Transfer(samples), available);
    }
    const std::size_t moved = std::min(transport_->Transfer(samples), available);
    if (block != nullptr) {
        ApplyGain(std::span(samples).first(moved));
        std::copy_n(samples.begin(), moved, block->data);
    }
    return moved;
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
