#pragma once

#include <cstdint>

// An IPv4 address and port, both in network byte order; all zero names nothing.
struct NetworkEndpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;

    bool IsSet() const { return address != 0 && port != 0; }
    bool operator==(const NetworkEndpoint&) const = default;
};
