#pragma once

#include <string>

// A non-blocking IPv4 TCP listening socket.
class TcpListener {
public:
    TcpListener() = default;
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // bindIp empty listens on every address (loopback only under NetworkConfinement);
    // otherwise it must be a dotted IPv4 address.
    bool Open(const std::string& bindIp, int port);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }

    // The descriptor of a waiting connection (non-blocking), with its far end; -1 when
    // none waits.
    int Accept(std::string& peerIp, int& peerPort);

private:
    int fd_ = -1;
};
