#include "python/ThreadEventQueue.h"

ThreadEventQueue& ThreadEventQueue::ForCurrentThread()
{
    thread_local ThreadEventQueue queue;
    return queue;
}

std::optional<ThreadEventQueue::Entry> ThreadEventQueue::Pop()
{
    if (entries_.empty())
        return std::nullopt;
    Entry entry = std::move(entries_.front());
    entries_.pop_front();
    return entry;
}
