#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

// The 10 ms heartbeat of the media engine on a thread of its own, for when no
// microphone gives the beat. Rounds that fall behind are caught up back to back, so
// the tick count stays true to the clock. It runs only between Start and Stop; it
// sleeps rather than waits on a condition, which wakes a thread more cheaply, so
// Stop takes up to one period.
class MediaClock {
public:
    static constexpr int PeriodMs = 10;
    static constexpr std::int64_t MaxLatenessMs = 100;

    explicit MediaClock(std::function<void()> tick) : tick_(std::move(tick)) {}
    ~MediaClock() { Stop(); }
    MediaClock(const MediaClock&) = delete;
    MediaClock& operator=(const MediaClock&) = delete;

    // Starts the thread unless it runs.
    void Start();
    // Returns once the thread has ended; at once when it does not run.
    void Stop();
    bool IsRunning() const { return thread_.joinable(); }

private:
    void Run();

    std::function<void()> tick_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
