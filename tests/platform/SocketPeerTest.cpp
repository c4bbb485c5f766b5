#include "platform/SocketPeer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

namespace {

SocketPeer::Endpoint EndpointOf(const sockaddr_in& address)
{
    SocketPeer::Endpoint endpoint;
    endpoint.address[10] = endpoint.address[11] = 0xFF;
    std::memcpy(endpoint.address.data() + 12, &address.sin_addr, 4);
    endpoint.port = ntohs(address.sin_port);
    return endpoint;
}

// A listening socket on 127.0.0.1, a client connected to it from a child process
// running as `uid`; the owner trn finds for that client.
std::optional<unsigned> OwnerOfClient(uid_t uid)
{
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    socklen_t length = sizeof address;
    bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(server, 1);
    getsockname(server, reinterpret_cast<sockaddr*>(&address), &length);
    int ready[2];
    EXPECT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        if (uid != getuid() && setuid(uid) != 0)
            _exit(3);
        const int client = socket(AF_INET, SOCK_STREAM, 0);
        connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
        char byte = 0;
        read(ready[0], &byte, 1); // until the parent has looked
        _exit(0);
    }
    sockaddr_in peer{};
    length = sizeof peer;
    const int accepted = accept(server, reinterpret_cast<sockaddr*>(&peer), &length);
    sockaddr_in local{};
    length = sizeof local;
    getsockname(accepted, reinterpret_cast<sockaddr*>(&local), &length);
    const std::optional<unsigned> owner = SocketPeer::TcpPeerUid(EndpointOf(peer), EndpointOf(local));
    EXPECT_EQ(write(ready[1], "x", 1), 1);
    waitpid(child, nullptr, 0);
    for (const int fd : {accepted, server, ready[0], ready[1]})
        close(fd);
    return owner;
}

} // namespace

TEST(SocketPeer, FindsTheOwnerOfTheClientEndOfATcpConnection)
{
    EXPECT_EQ(OwnerOfClient(getuid()), std::optional<unsigned>(getuid()));
    if (getuid() != 0)
        GTEST_SKIP() << "a client of another user needs root";
    EXPECT_EQ(OwnerOfClient(65534), std::optional<unsigned>(65534));
}

TEST(SocketPeer, ReadsTheKernelTablesAsPrinted)
{
    // 127.0.0.1:40000 -> 127.0.0.1:2500 of uid 1000, the accepted end (uid 0) and a
    // closed socket lingering without owner or inode.
    const std::string table =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
        "   0: 0100007F:09C4 0100007F:9C40 01 00000000:00000000 00:00000000 00000000     0        0 111 1\n"
        "   1: 0100007F:9C40 0100007F:09C4 01 00000000:00000000 00:00000000 00000000  1000        0 222 1\n"
        "   2: 0100007F:9C41 0100007F:09C4 05 00000000:00000000 00:00000000 00000000     0        0 0 3\n"
        "garbage: line\n";
    SocketPeer::Endpoint client, closed, server;
    client.address = closed.address = server.address = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 127, 0, 0, 1};
    client.port = 40000;
    closed.port = 40001;
    server.port = 2500;
    EXPECT_EQ(SocketPeer::FindTcpOwner(table, false, client, server), std::optional<unsigned>(1000));
    EXPECT_EQ(SocketPeer::FindTcpOwner(table, false, server, client), std::optional<unsigned>(0));
    EXPECT_EQ(SocketPeer::FindTcpOwner(table, false, closed, server), std::nullopt);
    const std::string table6 =
        "   0: 0000000000000000FFFF00000100007F:9C40 0000000000000000FFFF00000100007F:09C4 01 "
        "00000000:00000000 00:00000000 00000000  1001        0 333 1\n";
    EXPECT_EQ(SocketPeer::FindTcpOwner(table6, true, client, server), std::optional<unsigned>(1001));
    EXPECT_EQ(SocketPeer::FindTcpOwner(table6, false, client, server), std::nullopt);
}

TEST(SocketPeer, TellsTheUserAtTheOtherEndOfAUnixSocket)
{
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    EXPECT_EQ(SocketPeer::UnixPeerUid(pair[0]), std::optional<unsigned>(SocketPeer::OwnUid()));
    close(pair[0]);
    close(pair[1]);
    EXPECT_EQ(SocketPeer::UnixPeerUid(-1), std::nullopt);
}
