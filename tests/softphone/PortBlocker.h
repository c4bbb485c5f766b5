#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <vector>

// UDP ports on 127.0.0.1 held by the test, so that the softphone finds them taken.
class PortBlocker {
public:
    PortBlocker() = default;
    ~PortBlocker()
    {
        for (const int fd : sockets_)
            close(fd);
    }
    PortBlocker(const PortBlocker&) = delete;
    PortBlocker& operator=(const PortBlocker&) = delete;

    // False when the port was taken already (by someone else: it is taken either way).
    bool Block(int port)
    {
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(fd);
            return false;
        }
        sockets_.push_back(fd);
        return true;
    }

    static bool IsFree(int port)
    {
        PortBlocker probe;
        return probe.Block(port);
    }

private:
    std::vector<int> sockets_;
};
