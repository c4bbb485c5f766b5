#include "control/ConnectionPoint.h"

#include <algorithm>

int ConnectionPoint::Advise(OrvSIPUserAgentOCXEvents* sink)
{
    if (sink == nullptr)
        return 0;
    connections_.push_back({nextCookie_, sink});
    return nextCookie_++;
}

bool ConnectionPoint::Unadvise(int cookie)
{
    return std::erase_if(connections_, [cookie](const Connection& c) { return c.cookie == cookie; }) > 0;
}

bool ConnectionPoint::IsConnected(int cookie) const
{
    return std::any_of(connections_.begin(), connections_.end(),
                       [cookie](const Connection& c) { return c.cookie == cookie; });
}

void ConnectionPoint::Fire(OrvEventId event, const std::vector<OrvValue>& arguments)
{
    std::shared_ptr<bool> alive = alive_;
    const std::vector<Connection> firing = connections_;
    for (const Connection& connection : firing) {
        if (!*alive)
            return;
        if (IsConnected(connection.cookie))
            connection.sink->Invoke(static_cast<int>(event), arguments);
    }
}
