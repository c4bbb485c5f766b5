#pragma once

#include "useragent/EventRecord.h"

#include <deque>
#include <mutex>

class EventSink;
class MessageWindow;

// Events waiting for delivery. Posting may happen on any thread; delivery happens
// from the window's message loop, one record per posted message, in posting order.
class EventQueue {
public:
    static constexpr unsigned DeliverMessage = 0x2B12;

    void Post(MessageWindow& window, EventRecord record);
    // Takes the oldest record and hands it to the sink.
    void DeliverNext(EventSink* sink);

private:
    std::mutex mutex_;
    std::deque<EventRecord> records_;
};
