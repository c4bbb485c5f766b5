#pragma once

#include "platform/ByteStream.h"
#include "sipsyntax/SipStreamFramer.h"
#include "useragent/SipOutgoing.h"

#include <compare>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

// One SIP connection over TCP or TLS (RFC 3261 18): its stream, the framer of what it
// receives, and the messages waiting to be written, each written whole and in order.
// It does no waiting of its own: SipStreams calls it when its descriptor is ready.
class SipConnection {
public:
    struct Key {
        SipTransportKind transport = SipTransportKind::Tcp;
        std::uint32_t address = 0; // network byte order
        int port = 0;
        auto operator<=>(const Key&) const = default;
    };

    // Bytes read per readiness notice at most, so one flooding peer cannot hold the loop.
    static constexpr std::size_t ReadBudget = 256 * 1024;

    SipConnection(std::unique_ptr<ByteStream> stream, const Key& key, bool inbound, std::int64_t nowMs);

    const Key& GetKey() const { return key_; }
    std::string PeerIp() const;
    bool Inbound() const { return inbound_; }
    int Descriptor() const { return stream_->Descriptor(); }
    ByteStream::State Current() const { return stream_->Current(); }
    bool WantsWrite() const;
    // Whether the stream ever opened (a TLS stream: the certificate was accepted).
    bool Opened() const { return opened_; }
    // Why it is broken (stream or framing), in words.
    std::string Failure() const;
    bool Broken() const;
    std::size_t QueuedBytes() const { return queuedBytes_; }

    void Queue(SipOutgoing message);
    // Writes what the stream takes; the messages written whole go to `written`.
    void Write(std::vector<SipOutgoing>& written, std::int64_t nowMs);
    // Carries the opening on; then reads what waits and cuts it into items.
    void Progress(std::int64_t nowMs);
    void Read(std::vector<SipStreamFramer::Item>& items, std::int64_t nowMs);
    std::vector<SipOutgoing> TakeQueued();

    std::int64_t CreatedMs() const { return createdMs_; }
    std::int64_t LastActivityMs() const { return lastActivityMs_; }
    // When the first byte of the message being received came; -1 while none is partial.
    std::int64_t PartialSinceMs() const { return partialSinceMs_; }

    // The registration's messages went over it: its loss calls for a new registration.
    bool carriesRegistration = false;

private:
    std::unique_ptr<ByteStream> stream_;
    Key key_;
    bool inbound_;
    bool opened_ = false;
    SipStreamFramer framer_;
    std::deque<SipOutgoing> queue_;
    std::size_t queuedBytes_ = 0;
    // Bytes of the first queued message already written.
    std::size_t writtenOfFirst_ = 0;
    std::int64_t createdMs_;
    std::int64_t lastActivityMs_;
    std::int64_t partialSinceMs_ = -1;
};
