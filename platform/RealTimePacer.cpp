#include "platform/RealTimePacer.h"

void RealTimePacer::Restart()
{
    next_ = std::chrono::steady_clock::now();
}

std::chrono::steady_clock::time_point RealTimePacer::NextTick()
{
    next_ += period_;
    const auto now = std::chrono::steady_clock::now();
    if (now > next_ + maxLateness_)
        next_ = now;
    return next_;
}
