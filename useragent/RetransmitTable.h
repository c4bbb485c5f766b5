#pragma once

#include <array>
#include <string>

// Fifty retransmission entries of one call, advanced by the engine's one-second tick.
// An entry armed at tick t is resent at t+1, t+3, t+7, t+15 and t+31 and times out
// at t+47.
class RetransmitTable {
public:
    static constexpr int SlotCount = 50;
    static constexpr int SendOnce = -1;   // send without keeping an entry
    static constexpr int Automatic = -2;  // first free slot of 10..39
    static constexpr int InviteSlot = 1;
    static constexpr int CancelSlot = 2;
    static constexpr int ByeSlot = 3;
    static constexpr int FinalResponseSlot = 4;
    static constexpr int OkSlot = 5;
    static constexpr int ReferSlot = 6;
    static constexpr int FirstAutomaticSlot = 10;
    static constexpr int LastAutomaticSlot = 39;
    static constexpr int ExpiryTicks = 47;

    struct Entry {
        int dueTick = 0; // 0: free
        int expiryTick = -1;
        int interval = 0;
        int slot = 0;
        std::string text;
        std::string key;
        std::string host;
        int port = 0;
    };

    virtual ~RetransmitTable() = default;

    // Sends at once and arms the slot; returns the slot used (-1 when none).
    int ArmAndSend(int slot, const std::string& text, const std::string& host, int port,
                   const std::string& key = {});
    // Arms without sending: the first transmission is at the next tick.
    int Arm(int slot, const std::string& text, const std::string& host, int port, const std::string& key = {});
    void Clear(int slot);
    void ClearAll();
    // The slot armed with `key`, or -1.
    int FindKey(const std::string& key) const;
    bool IsArmed(int slot) const;
    // Whether any slot waits for a tick.
    bool AnyArmed() const;
    int Tick() const { return tick_; }
    void Advance();

protected:
    virtual void SendEntry(const std::string& text, const std::string& host, int port) = 0;
    virtual void OnSlotTimeout(int slot, const std::string& text, const std::string& host, int port) = 0;
    // A slot was armed: the ticks must run.
    virtual void OnArmed() {}

private:
    int ChooseSlot(int slot) const;

    int tick_ = 0;
    std::array<Entry, SlotCount> entries_{};
};
