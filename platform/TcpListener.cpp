#include "platform/TcpListener.h"

#include "platform/NetworkConfinement.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

TcpListener::~TcpListener()
{
    Close();
}

bool TcpListener::Open(const std::string& bindIp, int port)
{
    Close();
    sockaddr_in local;
    if (!NetworkConfinement::BindAddress(bindIp, port, local))
        return false;
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return false;
    // A restarted user agent takes its port back while old connections linger.
    const int on = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || listen(fd_, SOMAXCONN) != 0) {
        Close();
        return false;
    }
    return true;
}

void TcpListener::Close()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

int TcpListener::Accept(std::string& peerIp, int& peerPort)
{
    if (fd_ < 0)
        return -1;
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int accepted = accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (accepted < 0)
        return -1;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    peerIp = text;
    peerPort = ntohs(peer.sin_port);
    return accepted;
}
