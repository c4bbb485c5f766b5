#include "media/MediaClock.h"

#include "platform/Clock.h"

#include <algorithm>

void MediaClock::Start()
{
    if (thread_.joinable())
        return;
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
}

void MediaClock::Stop()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void MediaClock::Run()
{
    std::int64_t lateness = 0;
    std::int64_t previous = Clock::MonotonicMs();
    while (!stop_) {
        if (lateness <= PeriodMs)
            Clock::Sleep(PeriodMs);
        if (stop_)
            break;
        tick_();
        std::int64_t now = Clock::MonotonicMs();
        // A long stall (a suspended process) is not replayed as a burst of ticks.
        lateness = std::min(lateness + now - previous - PeriodMs, MaxLatenessMs);
        previous = now;
    }
}
