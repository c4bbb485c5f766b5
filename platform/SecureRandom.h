#pragma once

#include <cstdint>
#include <span>

// Bytes from the kernel's cryptographic random source, for keys.
class SecureRandom {
public:
    // Fills `bytes`; false (and nothing to use) when the source fails.
    static bool Fill(std::span<std::uint8_t> bytes);
};
