#include "useragent/EventQueue.h"

#include "platform/MessageWindow.h"
#include "useragent/EventSink.h"

void EventQueue::Post(MessageWindow& window, EventRecord record)
{
    EventType type = record.type;
    {
        std::lock_guard lock(mutex_);
        records_.push_back(std::move(record));
    }
    window.Post(DeliverMessage, static_cast<std::uintptr_t>(type));
}

void EventQueue::DeliverNext(EventSink* sink)
{
    EventRecord record;
    {
        std::lock_guard lock(mutex_);
        if (records_.empty())
            return;
        record = std::move(records_.front());
        records_.pop_front();
    }
    if (sink != nullptr)
        sink->OnEvent(record);
}
