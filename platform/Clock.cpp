#include "platform/Clock.h"

#include <chrono>
#include <thread>

std::int64_t Clock::MonotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::uint32_t Clock::TickCount()
{
    return static_cast<std::uint32_t>(MonotonicMs());
}

void Clock::Sleep(int milliseconds)
{
    if (milliseconds > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
