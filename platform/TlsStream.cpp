#include "platform/TlsStream.h"

#include "platform/TlsContext.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <array>

namespace {

constexpr std::size_t ChunkBytes = 16384;

bool IsDottedAddress(const std::string& name)
{
    in_addr address{};
    return inet_pton(AF_INET, name.c_str(), &address) == 1;
}

} // namespace

TlsStream::TlsStream(std::unique_ptr<TcpStream> tcp, const TlsContext& context, const std::string& serverName)
    : tcp_(std::move(tcp))
{
    if (context.Handle() == nullptr || (session_ = SSL_new(context.Handle())) == nullptr) {
        Fail("TLS is not available");
        return;
    }
    fromSocket_ = BIO_new(BIO_s_mem());
    toSocket_ = BIO_new(BIO_s_mem());
    BIO_set_mem_eof_return(fromSocket_, -1);
    SSL_set_bio(session_, fromSocket_, toSocket_);
    SSL_set_connect_state(session_);
    bool named = false;
    if (IsDottedAddress(serverName)) {
        named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(session_), serverName.c_str()) == 1;
    } else {
        named = SSL_set_tlsext_host_name(session_, serverName.c_str()) == 1 &&
                SSL_set1_host(session_, serverName.c_str()) == 1;
    }
    if (!named || tcp_->Current() == State::Failed)
        Fail(!named ? "no server name to check the certificate against" : tcp_->Failure());
}

TlsStream::~TlsStream()
{
    SSL_free(session_);
}

void TlsStream::Fail(const std::string& why)
{
    state_ = State::Failed;
    if (failure_.empty())
        failure_ = why;
}

void TlsStream::FailWithSessionError(int result)
{
    const int kind = SSL_get_error(session_, result);
    const long verification = SSL_get_verify_result(session_);
    if (verification != X509_V_OK) {
        Fail(std::string("certificate verify failed: ") + X509_verify_cert_error_string(verification));
    } else if (kind == SSL_ERROR_ZERO_RETURN) {
        state_ = State::Closed;
        failure_ = "closed by the peer";
    } else {
        std::array<char, 256> text{};
        ERR_error_string_n(ERR_get_error(), text.data(), text.size());
        Fail(std::string("TLS error: ") + text.data());
    }
    ERR_clear_error();
    PushToSocket();
}

bool TlsStream::PullFromSocket()
{
    std::array<char, ChunkBytes> chunk{};
    const long got = tcp_->Read(chunk.data(), chunk.size());
    if (got > 0) {
        BIO_write(fromSocket_, chunk.data(), static_cast<int>(got));
        return true;
    }
    if (got < 0)
        Fail(tcp_->Failure());
    return false;
}

void TlsStream::PushToSocket()
{
    std::array<char, ChunkBytes> chunk{};
    for (int got = 0; (got = BIO_read(toSocket_, chunk.data(), static_cast<int>(chunk.size()))) > 0;)
        held_.append(chunk.data(), static_cast<std::size_t>(got));
    while (!held_.empty() && tcp_->Current() == State::Open) {
        const long sent = tcp_->Write(held_.data(), held_.size());
        if (sent < 0) {
            Fail(tcp_->Failure());
            return;
        }
        if (sent == 0)
            return;
        held_.erase(0, static_cast<std::size_t>(sent));
    }
}

void TlsStream::Handshake()
{
    for (;;) {
        const int result = SSL_do_handshake(session_);
        PushToSocket();
        if (result == 1) {
            state_ = State::Open;
            return;
        }
        if (SSL_get_error(session_, result) != SSL_ERROR_WANT_READ) {
            FailWithSessionError(result);
            return;
        }
        if (!PullFromSocket()) {
            if (state_ == State::Failed && tcp_->Current() == State::Closed)
                failure_ = "closed by the peer during the TLS handshake";
            return;
        }
    }
}

ByteStream::State TlsStream::Progress()
{
    if (state_ == State::Failed || state_ == State::Closed)
        return state_;
    if (tcp_->Progress() == State::Failed) {
        Fail(tcp_->Failure());
        return state_;
    }
    if (tcp_->Current() != State::Open)
        return state_;
    if (state_ == State::Opening)
        Handshake();
    else
        PushToSocket();
    return state_;
}

long TlsStream::Read(char* buffer, std::size_t size)
{
    if (state_ != State::Open)
        return -1;
    for (;;) {
        const int got = SSL_read(session_, buffer, static_cast<int>(std::min(size, ChunkBytes)));
        if (got > 0) {
            PushToSocket();
            return got;
        }
        if (SSL_get_error(session_, got) != SSL_ERROR_WANT_READ) {
            FailWithSessionError(got);
            return -1;
        }
        if (!PullFromSocket()) {
            if (tcp_->Current() == State::Closed) {
                state_ = State::Closed;
                failure_ = "closed by the peer";
            }
            return state_ == State::Open ? 0 : -1;
        }
    }
}

long TlsStream::Write(const char* data, std::size_t size)
{
    if (state_ == State::Opening)
        return 0;
    if (state_ != State::Open)
        return -1;
    PushToSocket();
    if (!held_.empty())
        return state_ == State::Open ? 0 : -1;
    const int taken = SSL_write(session_, data, static_cast<int>(std::min(size, ChunkBytes)));
    if (taken <= 0) {
        FailWithSessionError(taken);
        return -1;
    }
    PushToSocket();
    return state_ == State::Open ? taken : -1;
}
