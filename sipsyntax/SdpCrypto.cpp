#include "sipsyntax/SdpCrypto.h"

#include <sstream>

namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t MaxTagDigits = 9;
constexpr int ShortestLifetimeLog2 = 31;

int Base64Value(char c)
{
    for (int at = 0; at < 64; ++at) {
        if (Alphabet[at] == c)
            return at;
    }
    return -1;
}

std::string EncodeBase64(const std::uint8_t* bytes, std::size_t size)
{
    std::string text;
    for (std::size_t at = 0; at < size; at += 3) {
        const std::size_t left = size - at;
        std::uint32_t group = static_cast<std::uint32_t>(bytes[at]) << 16;
        if (left > 1)
            group |= static_cast<std::uint32_t>(bytes[at + 1]) << 8;
        if (left > 2)
            group |= bytes[at + 2];
        for (std::size_t sextet = 0; sextet < 4; ++sextet)
            text += sextet <= left ? Alphabet[(group >> (18 - 6 * sextet)) & 0x3F] : '=';
    }
    return text;
}

// Exactly the key's bytes: 30 bytes are 40 characters and need no padding.
bool DecodeBase64(const std::string& text, SdpCrypto::KeySalt& out)
{
    static_assert(SdpCrypto::KeySaltBytes % 3 == 0, "a whole number of groups, no padding");
    if (text.size() != out.size() / 3 * 4)
        return false;
    std::uint32_t bits = 0;
    int held = 0;
    std::size_t written = 0;
    for (char c : text) {
        const int value = Base64Value(c);
        if (value < 0)
            return false;
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            out[written++] = static_cast<std::uint8_t>(bits >> held);
        }
    }
    return true;
}

bool AllDigits(const std::string& text, std::size_t maxDigits)
{
    if (text.empty() || text.size() > maxDigits)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// "2^N" or a plain number of packets, at least 2^31.
bool LongEnoughLifetime(const std::string& text)
{
    if (text.rfind("2^", 0) == 0) {
        const std::string exponent = text.substr(2);
        return AllDigits(exponent, 2) && std::stoi(exponent) >= ShortestLifetimeLog2;
    }
    // Up to 19 digits fit 64 bits; a longer count is not taken.
    return AllDigits(text, 19) && std::stoull(text) >= (1ULL << ShortestLifetimeLog2);
}

// "inline:<key and salt>[|lifetime]": a second part naming an MKI ("value:length")
// asks for keys this side does not juggle.
bool ParseKeyParameter(const std::string& parameter, SdpCrypto::KeySalt& keySalt)
{
    static const std::string Method = "inline:";
    if (parameter.rfind(Method, 0) != 0 || parameter.find(';') != std::string::npos)
        return false;
    std::vector<std::string> parts;
    std::stringstream info(parameter.substr(Method.size()));
    for (std::string part; std::getline(info, part, '|');)
        parts.push_back(part);
    if (parameter.back() == '|' || parts.empty() || parts.size() > 2)
        return false;
    if (parts.size() == 2 && (parts[1].find(':') != std::string::npos || !LongEnoughLifetime(parts[1])))
        return false;
    return DecodeBase64(parts[0], keySalt);
}

// The window-size hint changes nothing here; every other session parameter changes
// what the packets are, and a key that comes with one is not taken.
bool AcceptableSessionParameter(const std::string& parameter)
{
    return parameter.rfind("WSH=", 0) == 0 && AllDigits(parameter.substr(4), 9);
}

} // namespace

const std::vector<std::string>& SdpCrypto::Suites()
{
    static const std::vector<std::string> suites = {"AES_CM_128_HMAC_SHA1_80", "AES_CM_128_HMAC_SHA1_32"};
    return suites;
}

std::optional<SdpCrypto> SdpCrypto::Parse(const std::string& value)
{
    std::istringstream fields(value);
    std::string tag;
    std::string suite;
    std::string keyParameter;
    if (!(fields >> tag >> suite >> keyParameter) || !AllDigits(tag, MaxTagDigits))
        return std::nullopt;
    bool known = false;
    for (const std::string& candidate : Suites())
        known = known || candidate == suite;
    SdpCrypto crypto;
    if (!known || !ParseKeyParameter(keyParameter, crypto.keySalt))
        return std::nullopt;
    for (std::string parameter; fields >> parameter;) {
        if (!AcceptableSessionParameter(parameter))
            return std::nullopt;
    }
    crypto.tag = std::stoi(tag);
    crypto.suite = suite;
    return crypto;
}

std::string SdpCrypto::Format() const
{
    return std::to_string(tag) + " " + suite + " inline:" + EncodeBase64(keySalt.data(), keySalt.size());
}
