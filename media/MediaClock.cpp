#include "media/MediaClock.h"

#include "platform/RealTimePacer.h"

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

void MediaClock::SetTicksPerWake(int ticks)
{
    ticksPerWake_ = std::clamp(ticks, 1, MaxBlocksPerWake);
}

// Each wake-up runs as many ticks as the time it slept; a long stall (a suspended
// process) is not replayed as a burst of ticks.
void MediaClock::Run()
{
    RealTimePacer pacer(Period, MaxLateness);
    int ticks = 1;
    while (!stop_) {
        std::this_thread::sleep_until(pacer.NextTick());
        for (int tick = 0; tick < ticks && !stop_; ++tick)
            tick_();
        ticks = ticksPerWake_;
        pacer.SetPeriod(ticks * Period);
    }
}
