#pragma once

#include "platform/ByteStream.h"

#include <cstdint>
#include <string>

// A non-blocking IPv4 TCP connection: one this side opens (Connect) or one a
// TcpListener accepted (Adopt). Writes never raise SIGPIPE.
class TcpStream : public ByteStream {
public:
    TcpStream() = default;
    ~TcpStream() override;
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;

    // Starts connecting to an address (network byte order) and port; the stream is
    // Open at once on success, Opening while the connection is being made, Failed when
    // no socket could be made or NetworkConfinement forbids the destination.
    State Connect(std::uint32_t address, int port);
    void Adopt(int descriptor);

    int Descriptor() const override { return fd_; }
    State Current() const override { return state_; }
    State Progress() override;
    bool WantsWrite() const override { return state_ == State::Opening; }
    long Read(char* buffer, std::size_t size) override;
    long Write(const char* data, std::size_t size) override;
    const std::string& Failure() const override { return failure_; }

private:
    void Fail(const std::string& why);
    void FailWithErrno(int error);

    int fd_ = -1;
    State state_ = State::Failed;
    std::string failure_;
};
