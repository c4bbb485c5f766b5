#include "media/G711Tables.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int MuLawBias = 0x84;
constexpr int MuLawClip = 32635;
constexpr std::uint8_t ALawPositiveMask = 0xD5;
constexpr std::uint8_t ALawNegativeMask = 0x55;

// Index of the highest set bit of `value` among the low `bits` bits, 0 when none.
int HighestBit(int value, int bits)
{
    int position = 0;
    for (int bit = 0; bit < bits; ++bit) {
        if ((value >> bit) & 1)
            position = bit;
    }
    return position;
}

} // namespace

std::uint8_t G711Tables::LinearToMuLaw(int sample)
{
    const std::uint8_t sign = sample < 0 ? 0x80 : 0x00;
    const int magnitude = std::min(std::abs(sample), MuLawClip) + MuLawBias;
    const int exponent = HighestBit(magnitude >> 7, 8);
    const int mantissa = (magnitude >> (exponent + 3)) & 0x0F;
    return static_cast<std::uint8_t>(~(sign | (exponent << 4) | mantissa));
}

std::int16_t G711Tables::MuLawToLinear(std::uint8_t code)
{
    const int bits = static_cast<std::uint8_t>(~code);
    const int exponent = (bits >> 4) & 0x07;
    const int mantissa = bits & 0x0F;
    const int magnitude = (((mantissa << 3) + MuLawBias) << exponent) - MuLawBias;
    return static_cast<std::int16_t>((bits & 0x80) ? -magnitude : magnitude);
}

std::uint8_t G711Tables::LinearToALaw(int sample)
{
    // A-law works on 13 bits; negative values are mirrored so that -1 and 0 meet.
    int value = sample >> 3;
    std::uint8_t mask = ALawPositiveMask;
    if (value < 0) {
        mask = ALawNegativeMask;
        value = -value - 1;
    }
    if (value > 0xFFF)
        return static_cast<std::uint8_t>(0x7F ^ mask);
    const int segment = value < 0x20 ? 0 : HighestBit(value >> 4, 8);
    const int mantissa = segment < 2 ? (value >> 1) & 0x0F : (value >> segment) & 0x0F;
    return static_cast<std::uint8_t>(((segment << 4) | mantissa) ^ mask);
}

std::int16_t G711Tables::ALawToLinear(std::uint8_t code)
{
    const int bits = code ^ ALawNegativeMask;
    const int segment = (bits & 0x70) >> 4;
    int magnitude = (bits & 0x0F) << 4;
    if (segment == 0)
        magnitude += 8;
    else
        magnitude = (magnitude + 0x108) << (segment - 1);
    return static_cast<std::int16_t>((bits & 0x80) ? magnitude : -magnitude);
}

std::size_t G711Tables::EncodeIndex(std::int16_t sample)
{
    return static_cast<std::size_t>((sample / 4) & 0x3FFF);
}

G711Tables::LawTables G711Tables::Build(G711Law law)
{
    LawTables tables{};
    const auto toCode = law == G711Law::ALaw ? LinearToALaw : LinearToMuLaw;
    const auto toSample = law == G711Law::ALaw ? ALawToLinear : MuLawToLinear;
    constexpr int half = static_cast<int>(EncodeEntries / 2);
    for (int index = 0; index < static_cast<int>(EncodeEntries); ++index) {
        const int quarter = index < half ? index : index - static_cast<int>(EncodeEntries);
        tables.encode[static_cast<std::size_t>(index)] = toCode(quarter * 4);
    }
    for (std::size_t code = 0; code < DecodeEntries; ++code)
        tables.decode[code] = toSample(static_cast<std::uint8_t>(code));
    return tables;
}

const G711Tables::LawTables& G711Tables::For(G711Law law)
{
    static const LawTables muLaw = Build(G711Law::MuLaw);
    static const LawTables aLaw = Build(G711Law::ALaw);
    return law == G711Law::ALaw ? aLaw : muLaw;
}

std::uint8_t G711Tables::Encode(G711Law law, std::int16_t sample)
{
    return For(law).encode[EncodeIndex(sample)];
}

std::int16_t G711Tables::Decode(G711Law law, std::uint8_t code)
{
    return For(law).decode[code];
}
