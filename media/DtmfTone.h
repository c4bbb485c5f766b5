#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// DTMF digit numbering and the two-tone signal of the twelve keypad keys, shared
// by the local feedback tone and the in-band tone sent into a call.
class DtmfTone {
public:
    static constexpr int MaxVolume = 25;

    // "0".."9" -> 0..9, "*" -> 10, "#" -> 11, "A".."D" -> 12..15 (upper case only);
    // other text -> its leading decimal number (leading blanks and one sign
    // allowed), 0 when there is none or it does not fit an int.
    static int DigitCode(const std::string& digit);
    // The tone of key `code` 0..11 with 8-bit quantisation (peak 126 * 256);
    // silence for codes without a tone (A..D and any other number).
    static std::vector<std::int16_t> Generate(int code, std::size_t samples);
    // The local feedback tone: Generate attenuated for the DTMF volume, which is
    // clamped to 0 (silence) .. 25 (full level).
    static std::vector<std::int16_t> GenerateLocal(int code, std::size_t samples, int volume);
};
