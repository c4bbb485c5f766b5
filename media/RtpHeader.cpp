#include "media/RtpHeader.h"

namespace {

std::uint32_t Read32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | std::uint32_t{bytes[at + 3]};
}

void Write32(std::vector<std::uint8_t>& bytes, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<std::uint8_t>(value >> shift));
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
    std::vector<std::uint8_t> packet;
    packet.reserve(Size + payload.size());
    packet.push_back(0x80);
    packet.push_back(static_cast<std::uint8_t>((marker ? 0x80 : 0) | (payloadType & 0x7F)));
    packet.push_back(static_cast<std::uint8_t>(sequence >> 8));
    packet.push_back(static_cast<std::uint8_t>(sequence));
    Write32(packet, timestamp);
    Write32(packet, ssrc);
    packet.insert(packet.end(), payload.begin(), payload.end());
    return packet;
}
