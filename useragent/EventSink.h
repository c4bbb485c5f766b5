#pragma once

#include "useragent/EventRecord.h"

// Receives the engine's events, always from the message loop and never from inside a
// method call.
class EventSink {
public:
    virtual ~EventSink() = default;

    virtual void OnEvent(const EventRecord& /*record*/) {}
};
