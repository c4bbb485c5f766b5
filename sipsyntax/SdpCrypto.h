#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One SDES key of an SDP crypto attribute (RFC 4568): "a=crypto:<tag> <suite>
// inline:<key and salt>". Only what the user agent can run is read: the suites
// AES_CM_128_HMAC_SHA1_80 and _32, one inline key of 30 bytes, no MKI, a lifetime
// of at least 2^31 packets if any, and no session parameter but the window-size hint.
struct SdpCrypto {
    static constexpr std::size_t KeySaltBytes = 30;
    using KeySalt = std::array<std::uint8_t, KeySaltBytes>;
    // The suites in this side's order of preference.
    static const std::vector<std::string>& Suites();

    int tag = 0;
    std::string suite;
    KeySalt keySalt{};

    // The attribute's value (the text after "a=crypto:"); nothing for one that cannot
    // be used, whatever the reason.
    static std::optional<SdpCrypto> Parse(const std::string& value);
    // The attribute's value as written into an SDP.
    std::string Format() const;
};
