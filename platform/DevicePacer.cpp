#include "platform/DevicePacer.h"

#include "platform/RealTimePacer.h"
#include "platform/WaveStream.h"

#include <algorithm>
#include <chrono>

DevicePacer::~DevicePacer()
{
    std::lock_guard lifecycle(lifecycleMutex_);
    StopThread();
}

void DevicePacer::Attach(WaveStream& stream)
{
    std::lock_guard lifecycle(lifecycleMutex_);
    {
        std::lock_guard lock(mutex_);
        if (std::find(streams_.begin(), streams_.end(), &stream) != streams_.end())
            return;
        // Captures before playbacks: what is captured in a tick is sent before
        // the tick's speaker block is mixed.
        const auto at = stream.Direction() == WaveDirection::Capture
                            ? std::find_if(streams_.begin(), streams_.end(),
                                           [](WaveStream* other) { return other->Direction() == WaveDirection::Playback; })
                            : streams_.end();
        streams_.insert(at, &stream);
    }
    if (!thread_.joinable()) {
        stop_ = false;
        thread_ = std::thread([this] { Run(); });
    }
}

void DevicePacer::Detach(WaveStream& stream)
{
    std::lock_guard lifecycle(lifecycleMutex_);
    bool empty = false;
    {
        std::lock_guard lock(mutex_);
        std::erase(streams_, &stream);
        empty = streams_.empty();
    }
    if (empty)
        StopThread();
}

bool DevicePacer::IsRunning()
{
    std::lock_guard lifecycle(lifecycleMutex_);
    return thread_.joinable();
}

void DevicePacer::StopThread()
{
    if (!thread_.joinable())
        return;
    stop_ = true;
    thread_.join();
}

// Each wake-up moves as many ticks as the time it slept; how long the next sleep is
// follows what the streams allow now.
void DevicePacer::Run()
{
    RealTimePacer pacer(BlockPeriod);
    int blocks = 1;
    for (;;) {
        std::this_thread::sleep_until(pacer.NextTick());
        std::lock_guard lock(mutex_);
        if (stop_)
            return;
        for (int tick = 0; tick < blocks; ++tick) {
            for (WaveStream* stream : streams_)
                stream->Step();
        }
        blocks = BlocksPerWakeLocked();
        pacer.SetPeriod(blocks * BlockPeriod);
    }
}

int DevicePacer::BlocksPerWakeLocked() const
{
    if (streams_.empty())
        return 1;
    int blocks = MaxBlocksPerWake;
    for (const WaveStream* stream : streams_)
        blocks = std::min(blocks, std::clamp(stream->BlocksPerWake(), 1, MaxBlocksPerWake));
    return blocks;
}
