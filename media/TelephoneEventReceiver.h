#pragma once

#include <cstdint>
#include <optional>
#include <span>

// Turns received telephone-event packets into digits, one per event: the first
// packet of an event reports it, its repeated start packets and the end packets
// that follow are absorbed. Not locked: the line locks.
class TelephoneEventReceiver {
public:
    // Armed, with no end of event seen (at the start and end of a call's media).
    void Rearm();
    // One telephone-event payload with its RTP sequence number. Returns the digit to
    // report ('0'..'9', '*', '#', 'A'..'D', 'E' for the flash event 16), or '\0'.
    char OnPacket(std::uint16_t sequence, std::span<const std::uint8_t> payload);

private:
    bool IsBeforeLastEnd(std::uint16_t sequence) const;

    bool armed_ = true;
    std::optional<std::uint16_t> lastEndSequence_;
};
