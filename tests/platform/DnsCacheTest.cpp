#include "platform/DnsCache.h"

#include <gtest/gtest.h>

#include <string>

TEST(DnsCacheTest, KeepsAnAnswerForItsTimeToLiveOrSixtySecondsNeverBeyondFiveMinutes)
{
    DnsCache cache;
    const std::int64_t now = 1'000'000;
    cache.Store("Told.Example.", 0x0100007F, 30, now);
    cache.Store("untold.example", 0x0200007F, -1, now);
    cache.Store("long.example", 0x0300007F, 86400, now);
    cache.Store("zero.example", 0x0400007F, 0, now);

    EXPECT_EQ(cache.Find("told.example", now + 29'999), 0x0100007Fu) << "names compare without case or final dot";
    EXPECT_FALSE(cache.Find("told.example", now + 30'000));
    EXPECT_FALSE(cache.Find("told.example", now)) << "an expired answer is forgotten";
    EXPECT_EQ(cache.Find("untold.example", now + 59'999), 0x0200007Fu);
    EXPECT_FALSE(cache.Find("untold.example", now + 60'000));
    EXPECT_EQ(cache.Find("long.example", now + 299'999), 0x0300007Fu);
    EXPECT_FALSE(cache.Find("long.example", now + 300'000));
    EXPECT_FALSE(cache.Find("zero.example", now)) << "a time to live of 0 keeps nothing";

    cache.Store("forgotten.example", 0x0500007F, 60, now);
    cache.Forget("FORGOTTEN.example");
    EXPECT_FALSE(cache.Find("forgotten.example", now));
    cache.Store("again.example", 0x0600007F, 60, now);
    cache.Store("again.example", 0x0700007F, 10, now + 1000);
    EXPECT_EQ(cache.Find("again.example", now + 1000), 0x0700007Fu) << "a new answer replaces the old";
    EXPECT_FALSE(cache.Find("again.example", now + 11'000));
}

TEST(DnsCacheTest, ManyNamesStayBoundedAndExpiredOnesMakeRoom)
{
    DnsCache cache;
    for (std::size_t n = 0; n < DnsCache::MaxNames + 50; ++n)
        cache.Store("host" + std::to_string(n) + ".example", 1, 10, 0);
    EXPECT_EQ(cache.Size(), DnsCache::MaxNames);
    EXPECT_TRUE(cache.Find("host0.example", 5000));
    EXPECT_FALSE(cache.Find("host" + std::to_string(DnsCache::MaxNames) + ".example", 5000));
    cache.Store("late.example", 2, 10, 20'000);
    EXPECT_EQ(cache.Find("late.example", 20'000), 2u) << "the expired answers made room";
}
