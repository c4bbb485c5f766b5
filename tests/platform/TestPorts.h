#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <random>

// Ports the tests hand to what they start lie below the kernel's ephemeral range
// (32768 and up), so no socket the system numbers itself can take one between the
// choice and the bind; the random pick keeps tests running side by side apart.
namespace TestPorts {

inline bool IsFree(int port, int type)
{
    int fd = socket(AF_INET, type, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return free;
}

// An even port free for UDP and TCP, with its odd neighbour.
inline int Free()
{
    static std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<int> pick(5000, 15999);
    for (;;) {
        int port = pick(generator) * 2;
        if (IsFree(port, SOCK_DGRAM) && IsFree(port, SOCK_STREAM) && IsFree(port + 1, SOCK_DGRAM) &&
            IsFree(port + 1, SOCK_STREAM))
            return port;
    }
}

} // namespace TestPorts
