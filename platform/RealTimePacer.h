#pragma once

#include <chrono>

// Paces a loop at a fixed period of real time. Late ticks are caught up back to
// back, unless the loop fell so far behind that it is better to start afresh.
class RealTimePacer {
public:
    explicit RealTimePacer(std::chrono::milliseconds period) : period_(period) {}

    void Restart();
    // Sleeps until the next tick is due.
    void WaitForNextTick();

private:
    static constexpr std::chrono::milliseconds MaxLateness{200};

    std::chrono::milliseconds period_;
    std::chrono::steady_clock::time_point next_ = std::chrono::steady_clock::now();
};
