#include "media/StunMessage.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint16_t BindingRequestType = 0x0001;
constexpr std::uint16_t BindingSuccessType = 0x0101;
constexpr std::uint16_t MappedAddressType = 0x0001;
constexpr std::uint16_t XorMappedAddressType = 0x0020;
constexpr std::uint8_t Ipv4Family = 0x01;
constexpr std::size_t Ipv4AddressValueSize = 8;
constexpr std::size_t CookieAt = 4;
constexpr std::size_t TransactionIdAt = 8;

std::uint16_t Read16(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

std::uint32_t Read32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(Read16(bytes, at)) << 16 | Read16(bytes, at + 2);
}

void Write16(std::uint8_t* at, std::uint32_t value)
{
    at[0] = static_cast<std::uint8_t>(value >> 8);
    at[1] = static_cast<std::uint8_t>(value);
}

// An address attribute's value: reserved byte, family, port, address; the X-Port and
// X-Address of XOR-MAPPED-ADDRESS are xored with the cookie's high bits and the cookie.
std::optional<NetworkEndpoint> AddressOf(std::span<const std::uint8_t> value, bool xored)
{
    if (value.size() < Ipv4AddressValueSize || value[1] != Ipv4Family)
        return std::nullopt;
    std::uint16_t port = Read16(value, 2);
    std::uint32_t address = Read32(value, 4);
    if (xored) {
        port ^= static_cast<std::uint16_t>(StunMessage::MagicCookie >> 16);
        address ^= StunMessage::MagicCookie;
    }
    const std::array<std::uint8_t, 4> networkOrder = {static_cast<std::uint8_t>(address >> 24),
                                                      static_cast<std::uint8_t>(address >> 16),
                                                      static_cast<std::uint8_t>(address >> 8),
                                                      static_cast<std::uint8_t>(address)};
    NetworkEndpoint endpoint;
    std::memcpy(&endpoint.address, networkOrder.data(), networkOrder.size());
    const std::array<std::uint8_t, 2> portBytes = {static_cast<std::uint8_t>(port >> 8),
                                                   static_cast<std::uint8_t>(port)};
    std::memcpy(&endpoint.port, portBytes.data(), portBytes.size());
    if (!endpoint.IsSet())
        return std::nullopt;
    return endpoint;
}

} // namespace

StunMessage::Request StunMessage::BindingRequest(const TransactionId& id)
{
    Request request{};
    Write16(request.data(), BindingRequestType);
    Write16(request.data() + 2, 0);
    Write16(request.data() + CookieAt, MagicCookie >> 16);
    Write16(request.data() + CookieAt + 2, MagicCookie & 0xFFFF);
    std::copy(id.begin(), id.end(), request.begin() + TransactionIdAt);
    return request;
}

bool StunMessage::IsStun(std::span<const std::uint8_t> datagram)
{
    return datagram.size() >= HeaderSize && (datagram[0] & 0xC0) == 0 && Read32(datagram, CookieAt) == MagicCookie;
}

std::optional<NetworkEndpoint> StunMessage::MappedAddress(std::span<const std::uint8_t> datagram,
                                                         const TransactionId& id)
{
    if (!IsStun(datagram) || Read16(datagram, 0) != BindingSuccessType)
        return std::nullopt;
    const std::size_t length = Read16(datagram, 2);
    if (length % 4 != 0 || HeaderSize + length != datagram.size() ||
        !std::equal(id.begin(), id.end(), datagram.begin() + TransactionIdAt))
        return std::nullopt;
    std::optional<NetworkEndpoint> mapped;
    std::optional<NetworkEndpoint> xorMapped;
    for (std::size_t at = HeaderSize; at + 4 <= datagram.size();) {
        const std::uint16_t type = Read16(datagram, at);
        const std::size_t valueLength = Read16(datagram, at + 2);
        if (at + 4 + valueLength > datagram.size())
            return std::nullopt;
        const auto value = datagram.subspan(at + 4, valueLength);
        if (type == XorMappedAddressType && !xorMapped)
            xorMapped = AddressOf(value, true);
        else if (type == MappedAddressType && !mapped)
            mapped = AddressOf(value, false);
        at += 4 + (valueLength + 3) / 4 * 4;
    }
    return xorMapped ? xorMapped : mapped;
}
