#include "platform/RingQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(RingQueue, KeepsOrderWhileItWrapsAndGrows)
{
    RingQueue<std::string> queue;
    EXPECT_TRUE(queue.empty());
    int pushed = 0;
    int popped = 0;
    // Mostly steady, with bursts that make it grow while its head is mid-ring.
    for (int round = 0; round < 50; ++round) {
        const int burst = round % 10 == 9 ? 20 : 2;
        for (int at = 0; at < burst; ++at)
            queue.push_back(std::to_string(pushed++));
        for (int at = 0; at < 2 && !queue.empty(); ++at) {
            EXPECT_EQ(queue.front(), std::to_string(popped++));
            queue.pop_front();
        }
        EXPECT_EQ(queue.size(), static_cast<std::size_t>(pushed - popped));
    }
    while (!queue.empty()) {
        EXPECT_EQ(queue.front(), std::to_string(popped++));
        queue.pop_front();
    }
    EXPECT_EQ(popped, pushed);
}

TEST(RingQueue, ClearEmptiesAndTheQueueGoesOn)
{
    RingQueue<int> queue;
    for (int value = 0; value < 11; ++value)
        queue.push_back(value);
    queue.pop_front();
    queue.clear();
    EXPECT_TRUE(queue.empty());
    EXPECT_EQ(queue.size(), 0u);
    queue.emplace_back() = 42;
    queue.push_back(43);
    EXPECT_EQ(queue.front(), 42);
    queue.pop_front();
    EXPECT_EQ(queue.front(), 43);
}
