#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

// The 10 ms heartbeat of the media engine on a thread of its own. Rounds that fall
// behind are caught up back to back, so the tick count stays true to the clock.
class MediaClock {
public:
    static constexpr int PeriodMs = 10;
    static constexpr std::int64_t MaxLatenessMs = 100;

    explicit MediaClock(std::function<void()> tick) : tick_(std::move(tick)) {}
    ~MediaClock() { Stop(); }
    MediaClock(const MediaClock&) = delete;
    MediaClock& operator=(const MediaClock&) = delete;

    void Start();
    // Returns once the thread has ended.
    void Stop();

private:
    void Run();

    std::function<void()> tick_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
