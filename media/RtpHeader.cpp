#include "media/RtpHeader.h"

#include <algorithm>

namespace {

std::uint32_t Read32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | std::uint32_t{bytes[at + 3]};
}

void Write32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes[at++] = static_cast<std::uint8_t>(value >> shift);
}

} // namespace

std::optional<RtpHeader> RtpHeader::Parse(std::span<const std::uint8_t> datagram)
{
    if (datagram.size() < Size)
        return std::nullopt;
    std::size_t padding = (datagram[0] & 0x20) != 0 ? datagram.back() : 0;
    bool extension = (datagram[0] & 0x10) != 0;
    int version = datagram[0] >> 6;
    std::size_t headerSize = Size + 4 * static_cast<std::size_t>(datagram[0] & 0x0F);
    if (extension || version != 2 || headerSize > datagram.size() || headerSize + padding > datagram.size())
        return std::nullopt;
    RtpHeader header;
    header.marker = (datagram[1] & 0x80) != 0;
    header.payloadType = datagram[1] & 0x7F;
    header.sequence = static_cast<std::uint16_t>((datagram[2] << 8) | datagram[3]);
    header.timestamp = Read32(datagram, 4);
    header.ssrc = Read32(datagram, 8);
    header.payload = datagram.subspan(headerSize, datagram.size() - headerSize - padding);
    return header;
}

std::vector<std::uint8_t> RtpHeader::Build(bool marker, std::uint8_t payloadType, std::uint16_t sequence,
                                           std::uint32_t timestamp, std::uint32_t ssrc,
                                           std::span<const std::uint8_t> payload)
{
    std::vector<std::uint8_t> packet(Size + payload.size());
    Write(marker, payloadType, sequence, timestamp, ssrc, payload, packet);
    return packet;
}

std::size_t RtpHeader::Write(bool marker, std::uint8_t payloadType, std::uint16_t sequence, std::uint32_t timestamp,
                             std::uint32_t ssrc, std::span<const std::uint8_t> payload, std::span<std::uint8_t> packet)
{
    if (packet.size() < Size + payload.size())
        return 0;
    packet[0] = 0x80;
    packet[1] = static_cast<std::uint8_t>((marker ? 0x80 : 0) | (payloadType & 0x7F));
    packet[2] = static_cast<std::uint8_t>(sequence >> 8);
    packet[3] = static_cast<std::uint8_t>(sequence);
    Write32(packet, 4, timestamp);
    Write32(packet, 8, ssrc);
    std::copy(payload.begin(), payload.end(), packet.begin() + Size);
    return Size + payload.size();
}
