#pragma once

#include <OrvSIPUserAgentOCXEvents.h>

#include <cstdint>
#include <vector>

// The binding's sink on one control: every event goes, with the control's serial
// and the event's name, into the queue of the thread it is raised on.
class QueuedEventSink : public OrvSIPUserAgentOCXEvents {
public:
    QueuedEventSink(std::int64_t serial, const std::vector<OrvMemberInfo>& events) : serial_(serial), events_(events)
    {
    }

    void Invoke(int dispId, const std::vector<OrvValue>& arguments) override;

private:
    std::int64_t serial_;
    const std::vector<OrvMemberInfo>& events_;
};
