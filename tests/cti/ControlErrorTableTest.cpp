#include "cti/ControlErrorTable.h"

#include <gtest/gtest.h>

TEST(ControlErrorTable, ReportsTheListedCodesOnly)
{
    const auto notOnline = ControlErrorTable::ReportFor(10);
    ASSERT_TRUE(notOnline.has_value());
    EXPECT_EQ(notOnline->command, "nErr");
    EXPECT_EQ(notOnline->message, "You are not Online");
    const auto portTaken = ControlErrorTable::ReportFor(11);
    ASSERT_TRUE(portTaken.has_value());
    EXPECT_EQ(portTaken->command, "ERROR");
    EXPECT_EQ(portTaken->message, "Cann't open communication port.");
    EXPECT_EQ(ControlErrorTable::ReportFor(26)->message,
              "nErr to create REGISTER request. Please check the provided SIP URI is valid.");
    EXPECT_EQ(ControlErrorTable::ReportFor(34)->message, "Line is not in voice session.");
    EXPECT_EQ(ControlErrorTable::ReportFor(40)->message,
              "called from a thread other than the one that created the control");
    EXPECT_EQ(ControlErrorTable::ReportFor(41)->message, "the call needs media encryption that cannot be had");
    int reported = 0;
    for (int code = -5; code < 100; ++code)
        reported += ControlErrorTable::ReportFor(code).has_value() ? 1 : 0;
    EXPECT_EQ(reported, 22);
    for (const int silent : {0, 12, 20, 21, 32, 33, 35, 36, 37, 38})
        EXPECT_FALSE(ControlErrorTable::ReportFor(silent).has_value()) << silent;
}
