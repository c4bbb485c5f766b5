#pragma once

#include "platform/ByteStream.h"
#include "platform/TcpStream.h"

#include <memory>
#include <string>

class TlsContext;
struct ssl_st;
struct bio_st;

// A TLS client over a TCP connection. The server must show a certificate that the
// context's CAs vouch for and that names `serverName`: a host name (also sent as SNI)
// or a dotted address. Until the handshake has checked it, nothing the owner writes
// leaves: the stream is Opening, then Open, or Failed with the reason (the
// certificate's fault, in OpenSSL's words). The socket is read and written here, so
// no write can raise SIGPIPE.
class TlsStream : public ByteStream {
public:
    TlsStream(std::unique_ptr<TcpStream> tcp, const TlsContext& context, const std::string& serverName);
    ~TlsStream() override;
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    int Descriptor() const override { return tcp_->Descriptor(); }
    State Current() const override { return state_; }
    State Progress() override;
    bool WantsWrite() const override { return tcp_->WantsWrite() || !held_.empty(); }
    long Read(char* buffer, std::size_t size) override;
    long Write(const char* data, std::size_t size) override;
    const std::string& Failure() const override { return failure_; }

private:
    // Reads one chunk from the socket into the session; false when nothing came.
    bool PullFromSocket();
    // Hands what the session wrote to the socket, as far as it takes it.
    void PushToSocket();
    void Handshake();
    void FailWithSessionError(int result);
    void Fail(const std::string& why);

    std::unique_ptr<TcpStream> tcp_;
    ssl_st* session_ = nullptr;
    bio_st* fromSocket_ = nullptr;
    bio_st* toSocket_ = nullptr;
    std::string held_;
    State state_ = State::Opening;
    std::string failure_;
};
