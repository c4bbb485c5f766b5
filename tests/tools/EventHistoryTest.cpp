#include "tools/EventHistory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <string>

namespace {

// What `waitfor` did before the history was bounded: every name printed since the
// previous match, in order.
class UnboundedHistory {
public:
    void Record(const std::string& name) { names_.push_back(name); }
    bool Consume(const std::string& name)
    {
        auto found = std::find(names_.begin(), names_.end(), name);
        if (found == names_.end())
            return false;
        names_.erase(names_.begin(), std::next(found));
        return true;
    }
    void Clear() { names_.clear(); }

private:
    std::deque<std::string> names_;
};

} // namespace

TEST(EventHistoryTest, AnswersAsTheUnboundedHistoryDid)
{
    const std::vector<std::string> names = {"OnConnecting", "OnIncomingDiagnostic", "OnOutgoingDiagnostic",
                                            "OnSuccessToConnect", "OnDisconnectCall"};
    std::mt19937 random(7);
    EventHistory bounded;
    UnboundedHistory reference;
    int matches = 0;
    for (int step = 0; step < 20000; ++step) {
        const std::string& name = names[random() % names.size()];
        switch (random() % 10) {
        case 0:
        case 1:
        case 2: {
            bool found = reference.Consume(name);
            matches += found ? 1 : 0;
            ASSERT_EQ(bounded.Consume(name), found) << "step " << step;
            break;
        }
        case 3:
            if (random() % 20 == 0) {
                reference.Clear();
                bounded.Clear();
            }
            break;
        default:
            reference.Record(name);
            bounded.Record(name);
        }
    }
    EXPECT_GT(matches, 1000);
}

TEST(EventHistoryTest, ConsumesInOrderAndForgetsWhatCameBeforeTheMatch)
{
    EventHistory history;
    history.Record("A");
    history.Record("B");
    history.Record("A");
    EXPECT_TRUE(history.Consume("A"));
    EXPECT_TRUE(history.Consume("A"));
    // The B came before the second A: consumed with it.
    EXPECT_FALSE(history.Consume("B"));
    EXPECT_FALSE(history.Consume("Never"));
    history.Record("B");
    history.Clear();
    EXPECT_FALSE(history.Consume("B"));
    EXPECT_EQ(history.Size(), 0u);
}

TEST(EventHistoryTest, ALongSessionThatNeverWaitsStaysBounded)
{
    EventHistory history;
    for (int event = 0; event < 200000; ++event)
        history.Record(event % 2 == 0 ? "OnIncomingDiagnostic" : "OnOutgoingDiagnostic");
    EXPECT_LE(history.Size(), 2 * EventHistory::KeptPerName);
    // Beyond the kept printings the name is still found: the last printing is kept.
    for (std::size_t wait = 0; wait < EventHistory::KeptPerName; ++wait)
        ASSERT_TRUE(history.Consume("OnOutgoingDiagnostic")) << wait;
    EXPECT_FALSE(history.Consume("OnOutgoingDiagnostic"));
    EXPECT_FALSE(history.Consume("OnIncomingDiagnostic"));
    history.Record("OnIncomingDiagnostic");
    EXPECT_TRUE(history.Consume("OnIncomingDiagnostic"));
}
