#include "useragent/RetransmitTable.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class RecordingTable : public RetransmitTable {
public:
    std::vector<int> sentAtTick;
    std::vector<std::pair<int, int>> timeouts; // slot, tick
    std::vector<std::string> sentTexts;

protected:
    void SendEntry(const std::string& text, const std::string&, int) override
    {
        sentAtTick.push_back(Tick());
        sentTexts.push_back(text);
    }
    void OnSlotTimeout(int slot, const std::string&, const std::string&, int) override
    {
        timeouts.emplace_back(slot, Tick());
    }
};

void AdvanceTicks(RetransmitTable& table, int ticks)
{
    for (int i = 0; i < ticks; ++i)
        table.Advance();
}

} // namespace

TEST(RetransmitTable, ArmAndSendResendsWithDoublingAndTimesOutAt47)
{
    RecordingTable table;
    AdvanceTicks(table, 5);
    table.ArmAndSend(RetransmitTable::ByeSlot, "BYE", "127.0.0.1", 5060);
    AdvanceTicks(table, 60);
    EXPECT_EQ(table.sentAtTick, (std::vector<int>{5, 6, 8, 12, 20, 36}));
    ASSERT_EQ(table.timeouts.size(), 1u);
    EXPECT_EQ(table.timeouts[0], std::make_pair(RetransmitTable::ByeSlot, 5 + 47));
    EXPECT_FALSE(table.IsArmed(RetransmitTable::ByeSlot));
}

TEST(RetransmitTable, ArmOnlyLeavesOutTheImmediateSend)
{
    RecordingTable table;
    table.Arm(RetransmitTable::InviteSlot, "INVITE", "127.0.0.1", 5060);
    AdvanceTicks(table, 47);
    EXPECT_EQ(table.sentAtTick, (std::vector<int>{1, 3, 7, 15, 31}));
    ASSERT_EQ(table.timeouts.size(), 1u);
    EXPECT_EQ(table.timeouts[0].second, 47);
}

TEST(RetransmitTable, ClearingStopsResendsAndTimeout)
{
    RecordingTable table;
    table.ArmAndSend(RetransmitTable::OkSlot, "200", "127.0.0.1", 5060);
    table.ArmAndSend(RetransmitTable::FinalResponseSlot, "486", "127.0.0.1", 5060);
    table.Advance();
    table.Clear(RetransmitTable::OkSlot);
    AdvanceTicks(table, 50);
    for (const std::string& text : std::vector<std::string>(table.sentTexts.begin() + 4, table.sentTexts.end()))
        EXPECT_EQ(text, "486");
    ASSERT_EQ(table.timeouts.size(), 1u);
    EXPECT_EQ(table.timeouts[0].first, RetransmitTable::FinalResponseSlot);
    table.ArmAndSend(RetransmitTable::ByeSlot, "BYE", "127.0.0.1", 5060);
    table.ClearAll();
    std::size_t sent = table.sentTexts.size();
    AdvanceTicks(table, 50);
    EXPECT_EQ(table.sentTexts.size(), sent);
}

TEST(RetransmitTable, SendOnceKeepsNoEntry)
{
    RecordingTable table;
    EXPECT_EQ(table.ArmAndSend(RetransmitTable::SendOnce, "ACK", "127.0.0.1", 5060), -1);
    AdvanceTicks(table, 50);
    EXPECT_EQ(table.sentTexts.size(), 1u);
    EXPECT_TRUE(table.timeouts.empty());
}

TEST(RetransmitTable, AutomaticSlotsAreTakenFirstFreeFirstAndFoundByKey)
{
    RecordingTable table;
    EXPECT_EQ(table.Arm(RetransmitTable::Automatic, "INFO 1", "h", 1, "11"), 10);
    EXPECT_EQ(table.Arm(RetransmitTable::Automatic, "INFO 2", "h", 1, "12"), 11);
    table.Clear(10);
    EXPECT_EQ(table.Arm(RetransmitTable::Automatic, "INFO 3", "h", 1, "13"), 10);
    EXPECT_EQ(table.FindKey("12"), 11);
    EXPECT_EQ(table.FindKey("99"), -1);
    for (int i = 0; i < 28; ++i)
        table.Arm(RetransmitTable::Automatic, "INFO", "h", 1, "x");
    EXPECT_EQ(table.Arm(RetransmitTable::Automatic, "INFO", "h", 1, "y"), -1) << "slots 10..39 are all taken";
}

TEST(RetransmitTable, ATimeoutActionMayArmItsOwnSlotAgain)
{
    class Rearming : public RecordingTable {
    protected:
        void OnSlotTimeout(int slot, const std::string& text, const std::string& host, int port) override
        {
            RecordingTable::OnSlotTimeout(slot, text, host, port);
            if (timeouts.size() == 1)
                Arm(slot, "again", host, port);
        }
    } table;
    table.Arm(RetransmitTable::CancelSlot, "CANCEL", "h", 1);
    AdvanceTicks(table, 47);
    EXPECT_TRUE(table.IsArmed(RetransmitTable::CancelSlot));
    AdvanceTicks(table, 47);
    EXPECT_EQ(table.timeouts.size(), 2u);
}
