#include "control/ConnectionPoint.h"

#include <algorithm>
#include <exception>

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

void ConnectionPoint::Fire(int dispId, const std::vector<OrvValue>& arguments)
{
    std::shared_ptr<bool> alive = alive_;
    const std::vector<Connection> firing = connections_;
    std::exception_ptr firstFailure;
    for (const Connection& connection : firing) {
        if (!*alive)
            break;
        if (!IsConnected(connection.cookie))
            continue;
        try {
            connection.sink->Invoke(dispId, arguments);
        } catch (...) {
            if (!firstFailure)
                firstFailure = std::current_exception();
        }
    }
    if (firstFailure)
        std::rethrow_exception(firstFailure);
}
