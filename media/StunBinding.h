#pragma once

#include "media/StunMessage.h"

#include <optional>
#include <span>

// One line's question to a STUN server and the answer: the public address and port
// the server saw the line's RTP socket send from. Only the server's answer to the
// request asked last counts; anything else that looks like STUN is swallowed, so it
// never reaches the RTP path. Pure: the line sends the bytes.
class StunBinding {
public:
    // A new request to `server` (an unanswered one is forgotten); its bytes.
    StunMessage::Request Start(const NetworkEndpoint& server, const StunMessage::TransactionId& id);
    // The pending request again, for a retransmission; its bytes and server.
    const StunMessage::Request& PendingRequest() const { return request_; }
    const NetworkEndpoint& Server() const { return server_; }
    bool Pending() const { return pending_; }
    // true when the datagram is STUN (it is not RTP then); the pending request's
    // answer from its server records the mapped address.
    bool Take(const NetworkEndpoint& source, std::span<const std::uint8_t> datagram);
    std::optional<NetworkEndpoint> Mapped() const { return mapped_; }
    // Forgets the request and what an earlier answer told.
    void Forget();

private:
    NetworkEndpoint server_;
    StunMessage::TransactionId id_{};
    StunMessage::Request request_{};
    bool pending_ = false;
    std::optional<NetworkEndpoint> mapped_;
};
