#pragma once

#include "control/OrvSIPUserAgentOCXEvents.h"

#include <memory>
#include <vector>

// The sinks connected to the control's event interface. An event goes to every sink
// connected when it fires, except one disconnected meanwhile; a sink may disconnect
// itself or end the control from inside its handler. A sink that throws does not keep
// the event from the others: the first exception is thrown again once all had it.
class ConnectionPoint {
public:
    ConnectionPoint() : alive_(std::make_shared<bool>(true)) {}
    ~ConnectionPoint() { *alive_ = false; }
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    // The cookie (above 0) of the new connection; 0 for a null sink.
    int Advise(OrvSIPUserAgentOCXEvents* sink);
    bool Unadvise(int cookie);
    void Fire(int dispId, const std::vector<OrvValue>& arguments);

private:
    struct Connection {
        int cookie;
        OrvSIPUserAgentOCXEvents* sink;
    };

    bool IsConnected(int cookie) const;

    std::vector<Connection> connections_;
    int nextCookie_ = 1;
    // Shared with a firing in progress, which stops when the control goes.
    std::shared_ptr<bool> alive_;
};
