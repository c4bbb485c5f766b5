#include "python/QueuedEventSink.h"

#include "python/ThreadEventQueue.h"

void QueuedEventSink::Invoke(int dispId, const std::vector<OrvValue>& arguments)
{
    if (const OrvMemberInfo* event = OrvFindMember(events_, dispId))
        ThreadEventQueue::ForCurrentThread().Push({serial_, event->name, arguments});
}
