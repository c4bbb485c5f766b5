#include "media/TelephoneEventSender.h"

namespace {

constexpr std::uint8_t Volume = 0x0A;
constexpr std::uint8_t EndBit = 0x80;
constexpr std::uint16_t EndDuration = 800;

} // namespace

void TelephoneEventSender::QueueDigit(int code, int payloadType)
{
    auto code8 = static_cast<std::uint8_t>(code);
    auto type = static_cast<std::uint8_t>(payloadType);
    std::lock_guard lock(mutex_);
    records_.push_back({code8, Volume, 0, type, true, false, false});
    records_.push_back({code8, Volume, 0, type, true, false, false});
    records_.push_back({code8, Volume, 0, type, true, true, false});
    records_.push_back({code8, Volume, 0, type, false, true, false});
    records_.push_back({code8, Volume, 0, type, false, true, false});
    records_.push_back({code8, EndBit | Volume, EndDuration, type, false, false, false});
    records_.push_back({code8, EndBit | Volume, EndDuration, type, false, false, false});
    records_.push_back({code8, EndBit | Volume, EndDuration, type, false, false, true});
}

bool TelephoneEventSender::Take(Record& record)
{
    std::lock_guard lock(mutex_);
    if (records_.empty())
        return false;
    record = records_.front();
    records_.pop_front();
    return true;
}

bool TelephoneEventSender::Empty()
{
    std::lock_guard lock(mutex_);
    return records_.empty();
}

void TelephoneEventSender::Clear()
{
    std::lock_guard lock(mutex_);
    records_.clear();
}
