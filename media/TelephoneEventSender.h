#pragma once

#include "platform/RingQueue.h"

#include <array>
#include <cstdint>
#include <mutex>

// The RFC 2833 packets waiting to be sent on a line, one per media tick.
class TelephoneEventSender {
public:
    struct Record {
        std::uint8_t code = 0;
        std::uint8_t endAndVolume = 0;
        std::uint16_t duration = 0;
        std::uint8_t payloadType = 0;
        bool marker = false;
        bool advanceSequence = false;
        bool last = false;

        std::array<std::uint8_t, 4> Payload() const
        {
            return {code, endAndVolume, static_cast<std::uint8_t>(duration >> 8), static_cast<std::uint8_t>(duration)};
        }
    };

    // One digit: three start packets, two continuations and three end packets.
    void QueueDigit(int code, int payloadType);
    bool Take(Record& record);
    bool Empty();
    void Clear();

private:
    std::mutex mutex_;
    RingQueue<Record> records_;
};
