#pragma once

#include "platform/RingQueue.h"
#include "platform/WaveTransport.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

enum class WaveDirection { Capture, Playback };

// A buffer handed to a stream. The stream owns it from Queue until its
// BlockDone notice.
struct WaveBlock {
    std::int16_t* data = nullptr;
    std::size_t bytes = 0;         // size of `data`, a whole number of samples
    std::size_t bytesRecorded = 0; // bytes the device filled or played; 0 when handed back unused
    int slot = 0;                  // the owner's own tag
};

// Underrun: a playback device had no block queued when one was due, and played
// silence in its place.
enum class WaveNotice { BlockDone, Underrun, Closed };

// Notices arrive one at a time, on the stream's own thread; for a stream moved by
// a pacer, on the pacer's thread, and those of Reset and Close on the caller's.
// `block` is null for Underrun and Closed.
using WaveCallback = std::function<void(WaveNotice notice, WaveBlock* block)>;

class DevicePacer;

// An open capture or playback stream: queued blocks are filled or played one after
// another, 10 ms of audio each, and handed back through the callback. With no
// block queued, playback plays silence and capture is lost. The stream also carries the software volume (0..65535) and, for capture,
// a +20 dB boost switch.
// A device with a pace of its own (its transport blocks) runs the stream on a
// thread of the stream; a device without one is moved by a pacer shared with the
// other streams of its kind, from the moment the stream starts.
class WaveStream {
public:
    static constexpr std::uint32_t FullVolume = 65535;

    WaveStream(WaveDirection direction, std::unique_ptr<WaveTransport> transport, WaveCallback callback,
               DevicePacer* pacer = nullptr);
    ~WaveStream();
    WaveStream(const WaveStream&) = delete;
    WaveStream& operator=(const WaveStream&) = delete;

    WaveDirection Direction() const { return direction_; }
    // false once the stream is closing.
    bool Queue(WaveBlock* block);
    bool Start();
    // Hands every queued block back; returns after their notices were delivered.
    // Not to be called from the callback.
    void Reset();
    // One block through the transport: the pacer's tick.
    void Step();
    // Hands every queued block back, delivers Closed and stops the stream's thread:
    // no callback runs once Close returns. Not to be called from the callback.
    void Close();

    // How many blocks a pacer may move back to back per wake-up (1 or 2): 2 halves
    // the wake-ups when the stream's user works in 20 ms steps. A device with a
    // pace of its own keeps it.
    int BlocksPerWake() const { return blocksPerWake_; }
    void SetBlocksPerWake(int blocks) { blocksPerWake_ = blocks; }
    // How many blocks a playback stream's user keeps queued ahead of the device:
    // the device's own need unless the back end set another.
    int BlocksAhead() const { return blocksAhead_ > 0 ? blocksAhead_ : transport_->BlocksAhead(); }
    void SetBlocksAhead(int blocks) { blocksAhead_ = blocks; }

    std::uint32_t Volume() const { return volume_; }
    void SetVolume(std::uint32_t volume) { volume_ = volume; }
    bool Boost() const { return boost_; }
    void SetBoost(bool on) { boost_ = on; }

private:
    void Run();
    void ClosePaced();
    // Moves the next queued block (or none) and hands it back; `lock` is held on
    // entry and on return, not in between.
    void MoveOne(std::unique_lock<std::mutex>& lock);
    WaveBlock* TakeNextBlock();
    void ReturnQueued(std::unique_lock<std::mutex>& lock);
    // The samples the device took or gave.
    std::size_t Move(WaveBlock* block);
    void ApplyGain(std::span<std::int16_t> samples) const;

    const WaveDirection direction_;
    std::unique_ptr<WaveTransport> transport_;
    WaveCallback callback_;
    DevicePacer* const pacer_;
    std::atomic<std::uint32_t> volume_{FullVolume};
    std::atomic<bool> boost_{false};
    std::atomic<int> blocksPerWake_{1};
    int blocksAhead_ = 0;

    std::mutex mutex_;
    std::condition_variable changed_;
    RingQueue<WaveBlock*> queue_;
    bool started_ = false;
    bool closing_ = false;
    bool closedNoticed_ = false;
    bool resetRequested_ = false;
    std::thread worker_;
};
