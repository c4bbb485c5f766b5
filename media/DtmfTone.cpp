#include "media/DtmfTone.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <string_view>

namespace {

// Angular frequency per sample at 8000 Hz of the high and the low group tone.
struct TonePair {
    double high;
    double low;
};

constexpr std::array<TonePair, 12> Tones = {{
    {1.04876, 0.738685},  // 0: 1336 + 941 Hz
    {0.949065, 0.547145}, // 1: 1209 + 697 Hz
    {1.04876, 0.547145},  // 2
    {1.159445, 0.547145}, // 3
    {0.949065, 0.60445},  // 4
    {1.04876, 0.60445},   // 5
    {1.159445, 0.60445},  // 6
    {0.949065, 0.66882},  // 7
    {1.04876, 0.66882},   // 8
    {1.159445, 0.66882},  // 9
    {0.949065, 0.738685}, // *
    {1.159445, 0.738685}, // #
}};

constexpr std::string_view Keys = "0123456789*#ABCD";

int LeadingNumber(std::string_view text)
{
    const std::size_t start = text.find_first_not_of(" \t\n\v\f\r");
    if (start == std::string_view::npos)
        return 0;
    text.remove_prefix(start);
    const bool negative = text.front() == '-';
    if (negative || text.front() == '+')
        text.remove_prefix(1);
    // Unsigned parsing takes no second sign.
    unsigned magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (error != std::errc{} || magnitude > static_cast<unsigned>(INT_MAX))
        return 0;
    const auto value = static_cast<int>(magnitude);
    return negative ? -value : value;
}

// One sample of the tone: offset-binary 8 bits around 128, widened to 16 bits.
std::int16_t ToneSample(const TonePair& tone, std::size_t index)
{
    const double i = static_cast<double>(index);
    const auto offsetBinary = static_cast<std::uint8_t>((std::sin(i * tone.high) + std::sin(i * tone.low)) * 63 + 128);
    const auto signedByte = static_cast<std::int8_t>(offsetBinary ^ 0x80);
    return static_cast<std::int16_t>(signedByte * 256);
}

} // namespace

int DtmfTone::DigitCode(const std::string& digit)
{
    if (digit.size() == 1) {
        if (const std::size_t key = Keys.find(digit.front()); key != std::string_view::npos)
            return static_cast<int>(key);
    }
    return LeadingNumber(digit);
}

std::vector<std::int16_t> DtmfTone::Generate(int code, std::size_t samples)
{
    std::vector<std::int16_t> tone(samples, 0);
    if (code < 0 || code >= static_cast<int>(Tones.size()))
        return tone;
    const TonePair& pair = Tones[static_cast<std::size_t>(code)];
    for (std::size_t i = 0; i < samples; ++i)
        tone[i] = ToneSample(pair, i);
    return tone;
}

std::vector<std::int16_t> DtmfTone::GenerateLocal(int code, std::size_t samples, int volume)
{
    std::vector<std::int16_t> tone = Generate(code, samples);
    const double attenuation = (MaxVolume - std::clamp(volume, 0, MaxVolume)) * 4 * 0.01;
    for (std::int16_t& sample : tone)
        sample = static_cast<std::int16_t>(sample - sample * attenuation);
    return tone;
}
