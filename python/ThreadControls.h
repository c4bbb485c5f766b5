#pragma once

#include <OrvSIPUserAgentOCX.h>

#include "python/QueuedEventSink.h"

#include <atomic>
#include <memory>
#include <vector>

// The controls created on one thread. A control belongs to its thread: the thread's
// message loop runs it. One dropped on another thread is closed here the next time
// the thread runs its loop through the binding; those still open when the thread
// ends (dropped meanwhile, or kept by a reference cycle nobody collected) are closed
// then, on their own thread.
class ThreadControls {
public:
    struct Slot {
        std::unique_ptr<OrvSIPUserAgentOCX> control;
        std::unique_ptr<QueuedEventSink> sink;
        std::atomic<bool> closed{false};
        // Its last reference went on another thread: its own closes it.
        std::atomic<bool> dropped{false};

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
    bool AnyDropped() const;
    // Closes the controls of this thread dropped on another.
    void CloseDropped();

private:
    std::vector<std::shared_ptr<Slot>> slots_;
};
