#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

// The 10 ms heartbeat of the media engine on a thread of its own, for when no
// microphone gives the beat. It wakes every 10 ms, or every 20 ms with two ticks
// back to back when its user works in 20 ms steps. Ticks that fall behind are
// caught up back to back, so the tick count stays true to the clock. It runs only
// between Start and Stop; it sleeps rather than waits on a condition, which wakes a
// thread more cheaply, so Stop takes up to one wake-up.
class MediaClock {
public:
    static constexpr std::chrono::milliseconds Period{10};
    static constexpr int MaxBlocksPerWake = 2;
    // A stall longer than this (a suspended process) is not replayed.
    static constexpr std::chrono::milliseconds MaxLateness{100};

    explicit MediaClock(std::function<void()> tick) : tick_(std::move(tick)) {}
    ~MediaClock() { Stop(); }
    MediaClock(const MediaClock&) = delete;
    MediaClock& operator=(const MediaClock&) = delete;

    // Starts the thread unless it runs.
    void Start();
    // Returns once the thread has ended; at once when it does not run.
    void Stop();
    bool IsRunning() const { return thread_.joinable(); }
    // Ticks per wake-up from the next wake-up on, 1 or 2.
    void SetTicksPerWake(int ticks);
    int TicksPerWake() const { return ticksPerWake_; }

private:
    void Run();

    std::function<void()> tick_;
    std::atomic<bool> stop_{false};
    std::atomic<int> ticksPerWake_{1};
    std::thread thread_;
};
