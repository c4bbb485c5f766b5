#include "media/TelephoneEventReceiver.h"

#include <string_view>

namespace {

constexpr std::string_view EventDigits = "0123456789*#ABCDE";
constexpr std::uint8_t EndBit = 0x80;

} // namespace

void TelephoneEventReceiver::Rearm()
{
    armed_ = true;
    lastEndSequence_.reset();
}

char TelephoneEventReceiver::OnPacket(std::uint16_t sequence, std::span<const std::uint8_t> payload)
{
    if (payload.size() < 2 || IsBeforeLastEnd(sequence))
        return '\0';
    if ((payload[1] & EndBit) != 0) {
        lastEndSequence_ = sequence;
        armed_ = true;
        return '\0';
    }
    if (!armed_)
        return '\0';
    armed_ = false;
    const std::uint8_t event = payload[0];
    return event < EventDigits.size() ? EventDigits[event] : '\0';
}

// Serial comparison, so that events keep coming after the sequence number wraps.
bool TelephoneEventReceiver::IsBeforeLastEnd(std::uint16_t sequence) const
{
    return lastEndSequence_ && static_cast<std::int16_t>(static_cast<std::uint16_t>(sequence - *lastEndSequence_)) < 0;
}
