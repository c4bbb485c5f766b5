#pragma once

#include "control/OrvDispatch.h"

#include <vector>

// The event interface: the 28 events with their dispatch identifiers, parameters
// and when each is raised, in dispatch identifier order.
class EventTable {
public:
    static const std::vector<OrvMemberInfo>& Events();
};
