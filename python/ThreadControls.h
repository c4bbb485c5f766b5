#pragma once

#include <OrvSIPUserAgentOCX.h>

#include "python/QueuedEventSink.h"

#include <atomic>
#include <memory>
#include <vector>

// The controls created on one thread. A control belongs to its thread: the thread's
// message loop runs it. Those still open when the thread ends (dropped on another
// thread, or kept by a reference cycle nobody collected) are closed then, on their
// own thread, while its message loop is still there.
class ThreadControls {
public:
    struct Slot {
        std::unique_ptr<OrvSIPUserAgentOCX> control;
        std::unique_ptr<QueuedEventSink> sink;
        std::atomic<bool> closed{false};

        // Un-initialises and destroys the control (before the sink it holds).
        void Close();
    };

    // Made by the first control of the thread, after it: the thread's message loop,
    // made with that control, has to outlive the list.
    static ThreadControls& ForCurrentThread();
    // nullptr on a thread that made no control.
    static ThreadControls* OfCurrentThread();

    ThreadControls();
    ~ThreadControls();
    ThreadControls(const ThreadControls&) = delete;
    ThreadControls& operator=(const ThreadControls&) = delete;

    void Add(std::shared_ptr<Slot> slot) { slots_.push_back(std::move(slot)); }
    bool Holds(const Slot& slot) const;
    // Closes a control of this thread and forgets it.
    void Close(Slot& slot);

private:
    std::vector<std::shared_ptr<Slot>> slots_;
};
