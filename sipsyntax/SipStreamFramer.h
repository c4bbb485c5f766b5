#pragma once

#include <cstddef>
#include <string>

// Cuts SIP messages out of a byte stream (RFC 3261 18.3): a header section ended by an
// empty line, then as many body bytes as its Content-Length says (none without one).
// Between messages a CRLF CRLF is a keep-alive ping and a lone CRLF its pong (RFC 5626
// 4.4.1); a ping whose halves come in two reads counts as two pongs. Pure: the caller feeds what it read and takes what is complete, so the rules
// are tested and fuzzed without a socket.
//
// A stream that breaks a rule (a header section or a body over 64 KiB, a Content-Length
// that is no number or differs from another) fails for good: nothing more comes out,
// and its connection must close.
class SipStreamFramer {
public:
    static constexpr std::size_t MaxHeaderBytes = 65536;
    static constexpr std::size_t MaxBodyBytes = 65536;

    enum class Kind { None, Message, Ping, Pong };
    struct Item {
        Kind kind = Kind::None;
        std::string text;
    };

    void Feed(const char* data, std::size_t size);
    // The next complete item; Kind::None when more bytes are needed or the stream failed.
    Item Next();
    bool Failed() const { return !failure_.empty(); }
    // Why the stream failed, for the diagnostic; empty while it has not.
    const std::string& Failure() const { return failure_; }
    // Whether part of a message is held: its first byte came and it is not complete.
    bool HoldsPartialMessage() const;
    // Bytes held, for the caller's accounting.
    std::size_t Held() const { return buffer_.size() - start_; }

private:
    // Where the header section of the message at start_ ends (after its empty line),
    // or npos while it is not complete.
    std::size_t HeaderEnd();
    // The Content-Length of a header section; false when it is unusable.
    bool BodyLength(std::size_t headerEnd, std::size_t& length);
    void Fail(const std::string& why);
    void Consume(std::size_t count);

    std::string buffer_;
    std::size_t start_ = 0;
    // How far the search for the end of the current header section has come.
    std::size_t scanned_ = 0;
    std::string failure_;
};
