#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

// A process-wide limit on what UdpSocket does on the network, for programs that
// feed arbitrary input to the engine (the fuzz targets): when confined, host names
// are never looked up (only dotted addresses are understood), sockets bound to
// "every address" bind to loopback only, and datagrams go only to 127.0.0.0/8, or
// nowhere at all while still reported as sent. Unconfined by default.
class NetworkConfinement {
public:
    enum class Level {
        Unconfined,
        LoopbackOnly,
        NoTraffic,
    };

    static void Set(Level level);
    static Level Current();
    static bool IsConfined() { return Current() != Level::Unconfined; }
    // Whether a datagram may go to this IPv4 address (network byte order).
    static bool MaySendTo(std::uint32_t networkOrderAddress);
    // Whether an allowed datagram is dropped instead of sent.
    static bool DropsTraffic() { return Current() == Level::NoTraffic; }
    // The local address a socket binds: bindIp, or every address when it is empty
    // (loopback when confined); false when either is malformed.
    static bool BindAddress(const std::string& bindIp, int port, sockaddr_in& local);
};
