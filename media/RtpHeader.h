#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// One RTP packet as received or to be sent: plain RFC 3550 framing without
// extensions.
struct RtpHeader {
    static constexpr std::size_t Size = 12;

    bool marker = false;
    std::uint8_t payloadType = 0;
    std::uint16_t sequence = 0;
    std::uint32_t timestamp = 0;
    std::uint32_t ssrc = 0;
    std::span<const std::uint8_t> payload;

    // Validates a datagram: at least 12 bytes, padding within the payload, no
    // extension, version 2, the CSRC list inside the datagram. Nothing when it fails.
    static std::optional<RtpHeader> Parse(std::span<const std::uint8_t> datagram);
    // A 12-byte header (version 2, no CSRC) followed by the payload.
    static std::vector<std::uint8_t> Build(bool marker, std::uint8_t payloadType, std::uint16_t sequence,
                                           std::uint32_t timestamp, std::uint32_t ssrc,
                                           std::span<const std::uint8_t> payload);
    // The same packet written into `packet`; its length, 0 when it does not fit.
    static std::size_t Write(bool marker, std::uint8_t payloadType, std::uint16_t sequence, std::uint32_t timestamp,
                             std::uint32_t ssrc, std::span<const std::uint8_t> payload, std::span<std::uint8_t> packet);
};
