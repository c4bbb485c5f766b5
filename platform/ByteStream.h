#pragma once

#include <cstddef>
#include <string>

// A connected byte stream that never blocks the thread: a TCP connection, or TLS over
// one. Its owner watches Descriptor() on the message loop (for writing too while
// WantsWrite()) and calls Progress() on each notice, then reads and writes.
class ByteStream {
public:
    enum class State { Opening, Open, Closed, Failed };

    virtual ~ByteStream() = default;

    virtual int Descriptor() const = 0;
    virtual State Current() const = 0;
    // Carries the opening (the TCP connect, the TLS handshake) and held output on as far
    // as they go without waiting.
    virtual State Progress() = 0;
    // Whether the stream waits for its descriptor to become writable.
    virtual bool WantsWrite() const = 0;
    // Bytes read into `buffer`; 0 when nothing waits; -1 once the stream closed or
    // failed (Current() tells which).
    virtual long Read(char* buffer, std::size_t size) = 0;
    // Bytes of `data` taken; 0 when none can be taken now; -1 once the stream failed.
    virtual long Write(const char* data, std::size_t size) = 0;
    // Why the stream failed or closed, in words for a diagnostic.
    virtual const std::string& Failure() const = 0;
};
