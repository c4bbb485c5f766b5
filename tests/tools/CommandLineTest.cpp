#include "tools/CommandLine.h"
#include "tools/ConsoleHelp.h"

#include <gtest/gtest.h>

TEST(CommandLineTest, SplitsQuotesAndRefusesOpenQuotes)
{
    auto words = CommandLine::Split("Connect 0 \"sip:a b@h\" -1\t-1");
    ASSERT_TRUE(words);
    EXPECT_EQ(*words, (std::vector<std::string>{"Connect", "0", "sip:a b@h", "-1", "-1"}));
    EXPECT_EQ(*CommandLine::Split("X \"\" \"a\\\"b\\\\c\\r\\n\""), (std::vector<std::string>{"X", "", "a\"b\\c\r\n"}));
    EXPECT_FALSE(CommandLine::Split("X \"open"));
    EXPECT_FALSE(CommandLine::Split("X \"ends in escape\\"));
    EXPECT_EQ(CommandLine::Quote("a\"b\\c\r\n"), "\"a\\\"b\\\\c\\r\\n\"");
    EXPECT_EQ(CommandLine::ParseInt("-2147483648"), -2147483648LL);
    EXPECT_FALSE(CommandLine::ParseInt("2147483648"));
    EXPECT_FALSE(CommandLine::ParseInt("12x"));
    EXPECT_FALSE(CommandLine::ParseInt(""));
    EXPECT_FALSE(CommandLine::ParseBool("yes"));
    EXPECT_EQ(CommandLine::ParseBool("1"), true);
}

TEST(ConsoleHelpTest, ListsAndDescribesFromTheTable)
{
    std::vector<OrvMemberInfo> methods = {
        {5, "Connect", {{"LineNo", OrvType::Int}, {"ToURI", OrvType::String}}, OrvType::Bool, "start a call"},
        {1, "UnInitialize", {}, OrvType::None, "stop"},
    };
    auto list = ConsoleHelp::MethodList(methods);
    auto connect = std::find(list.begin(), list.end(), "  Connect LineNo ToURI");
    auto uninitialize = std::find(list.begin(), list.end(), "  UnInitialize");
    ASSERT_NE(connect, list.end());
    ASSERT_NE(uninitialize, list.end());
    EXPECT_LT(connect, uninitialize);
    auto described = ConsoleHelp::Describe(methods[0], false);
    EXPECT_EQ(described[0], "Connect LineNo ToURI -> boolean");
    EXPECT_EQ(described[1], "  start a call");
    EXPECT_EQ(described[2], "  LineNo: integer");
    EXPECT_EQ(described[3], "  ToURI: string");
    EXPECT_EQ(ConsoleHelp::Describe(methods[1], false)[0], "UnInitialize -> nothing");
    EXPECT_EQ(ConsoleHelp::Describe(methods[1], true)[0], "event UnInitialize");
}
