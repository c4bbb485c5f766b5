#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

class WaveStream;

// The clock of the virtual devices: one thread moves every started stream on it by
// one 10 ms block per tick of the real-time clock, the capture streams first and
// then the playback streams, so that one wake-up serves both directions (and the
// media engine, which ticks with the microphone). When every stream allows two
// blocks per wake-up, it wakes every 20 ms and runs two ticks back to back. The
// thread runs only while a stream is attached. It sleeps between wake-ups rather
// than waiting on a condition, which wakes a thread more cheaply; stopping it
// takes up to one wake-up.
class DevicePacer {
public:
    DevicePacer() = default;
    ~DevicePacer();
    DevicePacer(const DevicePacer&) = delete;
    DevicePacer& operator=(const DevicePacer&) = delete;

    void Attach(WaveStream& stream);
    // Returns once no step of the stream can run any more. Not from a step.
    void Detach(WaveStream& stream);
    // No stream moves while the returned lock is held. Not from a step.
    std::unique_lock<std::mutex> HoldSteps() { return std::unique_lock(mutex_); }
    bool IsRunning();

    static constexpr std::chrono::milliseconds BlockPeriod{10};
    static constexpr int MaxBlocksPerWake = 2;

private:
    void Run();
    void StopThread();
    // The fewest blocks per wake-up any stream allows (1 without streams).
    int BlocksPerWakeLocked() const;

    // Serialises starting and stopping the thread; never taken by the thread.
    std::mutex lifecycleMutex_;
    // Held by the thread while it moves the streams.
    std::mutex mutex_;
    std::vector<WaveStream*> streams_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
