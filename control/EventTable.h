#pragma once

#include "control/OrvDispatch.h"
#include "useragent/EventRecord.h"

#include <vector>

// The event interface: each event described once, with its dispatch identifier, the
// engine's queue type for it, its name, its parameter names and when it is raised.
// The parameter kinds come from the signature of its typed member in
// OrvSIPUserAgentOCXEvents, so delivery, orvua and Python cannot drift apart.
class EventTable {
public:
    // In dispatch identifier order.
    static const std::vector<OrvMemberInfo>& Events();
    // The dispatch identifier of the event the engine queues as `type`; 0 for none.
    static int DispIdOf(EventType type);
};
