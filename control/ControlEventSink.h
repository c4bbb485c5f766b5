#pragma once

#include "useragent/EventSink.h"

#include <memory>

class ConnectionPoint;
class MessageLoop;
class SipUserAgent;

// The engine's event sink, owned by the control: it owns the SIP engine, and fires
// each event the engine delivers from its queue to the connected sinks, under the
// event's dispatch identifier with the values the engine queued as its arguments.
class ControlEventSink : public EventSink {
public:
    ControlEventSink(ConnectionPoint& connections, MessageLoop& loop);
    ~ControlEventSink() override;
    ControlEventSink(const ControlEventSink&) = delete;
    ControlEventSink& operator=(const ControlEventSink&) = delete;

    SipUserAgent& Engine() { return *engine_; }

private:
    void OnEvent(const EventRecord& record) override;

    ConnectionPoint& connections_;
    std::unique_ptr<SipUserAgent> engine_;
};
