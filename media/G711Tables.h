#pragma once

#include <array>
#include <cstdint>

enum class G711Law { MuLaw, ALaw };

// The G.711 conversions as look-up tables, built once: encoding indexes a 16384-entry
// table with (sample / 4) & 0x3FFF, decoding a 256-entry table of samples.
class G711Tables {
public:
    static constexpr std::size_t EncodeEntries = 16384;
    static constexpr std::size_t DecodeEntries = 256;

    static std::uint8_t Encode(G711Law law, std::int16_t sample);
    static std::int16_t Decode(G711Law law, std::uint8_t code);

    // The conversions the tables are made from, on 16-bit samples.
    static std::uint8_t LinearToMuLaw(int sample);
    static std::uint8_t LinearToALaw(int sample);
    static std::int16_t MuLawToLinear(std::uint8_t code);
    static std::int16_t ALawToLinear(std::uint8_t code);

    static std::size_t EncodeIndex(std::int16_t sample);

private:
    struct LawTables {
        std::array<std::uint8_t, EncodeEntries> encode;
        std::array<std::int16_t, DecodeEntries> decode;
    };
    static const LawTables& For(G711Law law);
    static LawTables Build(G711Law law);
};
