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

void DevicePacer::Run()
{
    RealTimePacer pacer(std::chrono::milliseconds(10));
    for (;;) {
        std::this_thread::sleep_until(pacer.NextTick());
        std::lock_guard lock(mutex_);
        if (stop_)
            return;
        for (WaveStream* stream : streams_)
            stream->Step();
    }
}
