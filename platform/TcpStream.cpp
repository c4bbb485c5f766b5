#include "platform/TcpStream.h"

#include "platform/NetworkConfinement.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

TcpStream::~TcpStream()
{
    if (fd_ >= 0)
        close(fd_);
}

void TcpStream::Fail(const std::string& why)
{
    state_ = State::Failed;
    if (failure_.empty())
        failure_ = why;
}

void TcpStream::FailWithErrno(int error)
{
    Fail(std::strerror(error));
}

ByteStream::State TcpStream::Connect(std::uint32_t address, int port)
{
    if (port <= 0 || port > 65535 || !NetworkConfinement::MaySendTo(address) || NetworkConfinement::DropsTraffic()) {
        Fail("destination not allowed");
        return state_;
    }
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        FailWithErrno(errno);
        return state_;
    }
    const int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = address;
    peer.sin_port = htons(static_cast<std::uint16_t>(port));
    if (connect(fd_, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0)
        state_ = State::Open;
    else if (errno == EINPROGRESS)
        state_ = State::Opening;
    else
        FailWithErrno(errno);
    return state_;
}

void TcpStream::Adopt(int descriptor)
{
    fd_ = descriptor;
    state_ = fd_ >= 0 ? State::Open : State::Failed;
    const int on = 1;
    if (fd_ >= 0)
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

ByteStream::State TcpStream::Progress()
{
    if (state_ != State::Opening)
        return state_;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error != 0) {
        FailWithErrno(error);
        return state_;
    }
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    if (getpeername(fd_, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0)
        state_ = State::Open;
    return state_;
}

long TcpStream::Read(char* buffer, std::size_t size)
{
    if (state_ != State::Open)
        return -1;
    const ssize_t got = recv(fd_, buffer, size, 0);
    if (got > 0)
        return got;
    if (got == 0) {
        state_ = State::Closed;
        failure_ = "closed by the peer";
        return -1;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return 0;
    FailWithErrno(errno);
    return -1;
}

long TcpStream::Write(const char* data, std::size_t size)
{
    if (state_ == State::Opening)
        return 0;
    if (state_ != State::Open)
        return -1;
    const ssize_t sent = send(fd_, data, size, MSG_NOSIGNAL);
    if (sent >= 0)
        return sent;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return 0;
    FailWithErrno(errno);
    return -1;
}
