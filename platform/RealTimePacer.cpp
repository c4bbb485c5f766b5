#include "platform/RealTimePacer.h"

#include <thread>

void RealTimePacer::Restart()
{
    next_ = std::chrono::steady_clock::now();
}

void RealTimePacer::WaitForNextTick()
{
    next_ += period_;
    const auto now = std::chrono::steady_clock::now();
    if (now > next_ + MaxLateness)
        next_ = now;
    std::this_thread::sleep_until(next_);
}
