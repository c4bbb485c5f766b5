#include "python/ThreadControls.h"

#include "python/ThreadEventQueue.h"

#include <algorithm>

void ThreadControls::Slot::Close()
{
    control.reset();
    sink.reset();
    closed = true;
}

namespace {

thread_local ThreadControls* current = nullptr;

} // namespace

ThreadControls& ThreadControls::ForCurrentThread()
{
    thread_local ThreadControls controls;
    return controls;
}

ThreadControls* ThreadControls::OfCurrentThread()
{
    return current;
}

// Thread-local objects end in the reverse order of their making: the event queue the
// sinks fill, made here first, outlives the controls the destructor closes.
ThreadControls::ThreadControls()
{
    ThreadEventQueue::ForCurrentThread();
    current = this;
}

ThreadControls::~ThreadControls()
{
    for (const std::shared_ptr<Slot>& slot : slots_)
        slot->Close();
    current = nullptr;
}

bool ThreadControls::Holds(const Slot& slot) const
{
    return std::any_of(slots_.begin(), slots_.end(), [&slot](const auto& held) { return held.get() == &slot; });
}

void ThreadControls::Close(Slot& slot)
{
    slot.Close();
    std::erase_if(slots_, [&slot](const auto& held) { return held.get() == &slot; });
}

bool ThreadControls::AnyDropped() const
{
    return std::any_of(slots_.begin(), slots_.end(), [](const auto& held) { return held->dropped.load(); });
}

void ThreadControls::CloseDropped()
{
    std::vector<std::shared_ptr<Slot>> dropped;
    for (const std::shared_ptr<Slot>& slot : slots_) {
        if (slot->dropped)
            dropped.push_back(slot);
    }
    for (const std::shared_ptr<Slot>& slot : dropped)
        Close(*slot);
}
