#include "useragent/RetransmitTable.h"

#include <algorithm>

int RetransmitTable::ChooseSlot(int slot) const
{
    if (slot != Automatic)
        return slot >= 0 && slot < SlotCount ? slot : -1;
    for (int candidate = FirstAutomaticSlot; candidate <= LastAutomaticSlot; ++candidate) {
        if (entries_[static_cast<std::size_t>(candidate)].dueTick == 0)
            return candidate;
    }
    return -1;
}

int RetransmitTable::Arm(int slot, const std::string& text, const std::string& host, int port,
                         const std::string& key)
{
    int chosen = ChooseSlot(slot);
    if (chosen < 0)
        return -1;
    Entry& entry = entries_[static_cast<std::size_t>(chosen)];
    entry = Entry{tick_ + 1, tick_ + ExpiryTicks, 1, chosen, text, key, host, port};
    OnArmed();
    return chosen;
}

int RetransmitTable::ArmAndSend(int slot, const std::string& text, const std::string& host, int port,
                                const std::string& key)
{
    SendEntry(text, host, port);
    return slot == SendOnce ? -1 : Arm(slot, text, host, port, key);
}

void RetransmitTable::Clear(int slot)
{
    if (slot >= 0 && slot < SlotCount)
        entries_[static_cast<std::size_t>(slot)] = Entry{};
}

void RetransmitTable::ClearAll()
{
    entries_.fill(Entry{});
}

int RetransmitTable::FindKey(const std::string& key) const
{
    for (const Entry& entry : entries_) {
        if (entry.dueTick != 0 && entry.key == key)
            return entry.slot;
    }
    return -1;
}

bool RetransmitTable::IsArmed(int slot) const
{
    return slot >= 0 && slot < SlotCount && entries_[static_cast<std::size_t>(slot)].dueTick != 0;
}

bool RetransmitTable::AnyArmed() const
{
    return std::any_of(entries_.begin(), entries_.end(), [](const Entry& entry) { return entry.dueTick != 0; });
}

void RetransmitTable::Advance()
{
    ++tick_;
    for (int slot = 0; slot < SlotCount; ++slot) {
        Entry& entry = entries_[static_cast<std::size_t>(slot)];
        if (entry.dueTick == 0 || entry.dueTick != tick_)
            continue;
        entry.interval *= 2;
        entry.dueTick = tick_ + (entry.interval == 32 ? 16 : entry.interval);
        if (entry.expiryTick == tick_) {
            // The action may arm this very slot again, so it gets copies.
            Entry expired = entry;
            entry = Entry{};
            OnSlotTimeout(slot, expired.text, expired.host, expired.port);
        } else {
            SendEntry(entry.text, entry.host, entry.port);
        }
    }
}
