#include "python/QueuedEventSink.h"

#include "python/ThreadEventQueue.h"

#include <algorithm>

void QueuedEventSink::Invoke(int dispId, const std::vector<OrvValue>& arguments)
{
    auto event = std::find_if(events_.begin(), events_.end(),
                              [dispId](const OrvMemberInfo& info) { return info.dispId == dispId; });
    if (event != events_.end())
        ThreadEventQueue::ForCurrentThread().Push({serial_, event->name, arguments});
}
