#pragma once

#include <chrono>

// The schedule of a loop at a fixed period of real time. Late ticks are caught up
// back to back, unless the loop fell so far behind that it is better to start afresh.
class RealTimePacer {
public:
    // A loop more than `maxLateness` behind starts afresh.
    explicit RealTimePacer(std::chrono::milliseconds period,
                           std::chrono::milliseconds maxLateness = std::chrono::milliseconds(200))
        : period_(period), maxLateness_(maxLateness)
    {
    }

    void Restart();
    // The period from the next tick on.
    void SetPeriod(std::chrono::milliseconds period) { period_ = period; }
    // When the next tick is due; the loop waits until then.
    std::chrono::steady_clock::time_point NextTick();

private:
    std::chrono::milliseconds period_;
    std::chrono::milliseconds maxLateness_;
    std::chrono::steady_clock::time_point next_ = std::chrono::steady_clock::now();
};
