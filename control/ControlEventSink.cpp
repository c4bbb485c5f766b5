#include "control/ControlEventSink.h"

#include "control/ConnectionPoint.h"
#include "control/EventTable.h"
#include "useragent/SipUserAgent.h"

#include <type_traits>

// The engine's values cross to the host unconverted.
static_assert(std::is_same_v<EventValue, OrvValue>);

ControlEventSink::ControlEventSink(ConnectionPoint& connections, MessageLoop& loop)
    : connections_(connections), engine_(std::make_unique<SipUserAgent>(this, loop))
{
}

ControlEventSink::~ControlEventSink() = default;

void ControlEventSink::OnEvent(const EventRecord& record)
{
    if (const int dispId = EventTable::DispIdOf(record.type); dispId != 0)
        connections_.Fire(dispId, record.values);
}
