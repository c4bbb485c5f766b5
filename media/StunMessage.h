#pragma once

#include "platform/NetworkEndpoint.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

// The two STUN messages (RFC 5389) a line's RTP socket deals in: the Binding request
// it sends to a STUN server, and the server's success answer, which tells the address
// and port the request arrived from (the socket's public side behind a NAT). Pure: no
// I/O, so the parser is tested and fuzzed directly. IPv4 only, no authentication.
class StunMessage {
public:
    static constexpr std::size_t HeaderSize = 20;
    static constexpr std::uint32_t MagicCookie = 0x2112A442;
    using TransactionId = std::array<std::uint8_t, 12>;
    using Request = std::array<std::uint8_t, HeaderSize>;

    static Request BindingRequest(const TransactionId& id);
    // Whether a datagram is a STUN message: RTP's version bits (10) and STUN's (00)
    // tell the two apart on one socket (RFC 5764, 5.1.2).
    static bool IsStun(std::span<const std::uint8_t> datagram);
    // The address of a Binding success answer to the request `id` (XOR-MAPPED-ADDRESS,
    // else the old MAPPED-ADDRESS); nothing for any other datagram, a malformed one,
    // or one naming no usable IPv4 address.
    static std::optional<NetworkEndpoint> MappedAddress(std::span<const std::uint8_t> datagram,
                                                        const TransactionId& id);
};
