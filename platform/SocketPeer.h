#pragma once

#include <array>
#include <optional>
#include <string_view>

// Who is at the other end of a local connection: the user the kernel records as the
// owner of the peer's socket. For TCP on this machine that is the owner listed in
// /proc/net/tcp or /proc/net/tcp6 for the peer's end of the connection (as identd
// finds it); for a Unix-domain socket the credentials of SO_PEERCRED.
class SocketPeer {
public:
    // An address as 16 bytes in network order; IPv4 as ::ffff:a.b.c.d.
    struct Endpoint {
        std::array<unsigned char, 16> address{};
        unsigned port = 0;
    };

    // The owner of the socket whose own end is `peer` and whose far end is `server`
    // (the listening side's connection); nothing when the kernel lists no such socket.
    static std::optional<unsigned> TcpPeerUid(const Endpoint& peer, const Endpoint& server);
    // The same search in the text of one of those tables.
    static std::optional<unsigned> FindTcpOwner(std::string_view table, bool ipv6, const Endpoint& peer,
                                                const Endpoint& server);
    static std::optional<unsigned> UnixPeerUid(int fd);
    static unsigned OwnUid();
};
