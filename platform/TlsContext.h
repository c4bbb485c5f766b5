#pragma once

#include <string>

struct ssl_ctx_st;

// What every TLS connection of a user agent shares: TLS 1.2 or later, and the
// server's certificate checked against the system's CA store and, when
// ORVSIP_TLS_CA_FILE names one, the CAs of that PEM file (a private PBX's). There is
// no way to turn the check off.
class TlsContext {
public:
    TlsContext();
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    // Null when OpenSSL could not make the context: no TLS connection can be made.
    ssl_ctx_st* Handle() const { return context_; }
    // Why ORVSIP_TLS_CA_FILE was not taken; empty when it was, or is not set.
    const std::string& CaFileProblem() const { return caFileProblem_; }

private:
    ssl_ctx_st* context_ = nullptr;
    std::string caFileProblem_;
};
