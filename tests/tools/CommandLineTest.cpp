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

TEST(CommandLineTest, ControlBytesAndWhatIsNotUtf8AreEscapedBothWays)
{
    const std::string text = std::string("tab\tesc\x1b del\x7f nul") + '\0' +
                             "\xc2\x85nel \xc2\xa0nbsp \xe2\x82\xac euro \xf0\x9f\x93\x9e phone \xff lone \xc2 cut"
                             " \xe0\x80\xaf overlong \xed\xa0\x80 surrogate \xf4\x90\x80\x80 beyond";
    const std::string quoted = CommandLine::Quote(text);
    EXPECT_EQ(quoted, "\"tab\\x09esc\\x1B del\\x7F nul\\x00\\xC2\\x85nel \xc2\xa0nbsp \xe2\x82\xac euro "
                      "\xf0\x9f\x93\x9e phone \\xFF lone \\xC2 cut \\xE0\\x80\\xAF overlong \\xED\\xA0\\x80 "
                      "surrogate \\xF4\\x90\\x80\\x80 beyond\"");
    auto words = CommandLine::Split("X " + quoted);
    ASSERT_TRUE(words);
    ASSERT_EQ(words->size(), 2u);
    EXPECT_EQ((*words)[1], text) << "input reads the escapes output writes";
    EXPECT_EQ(*CommandLine::Split("X \"\\x4a\\x4B\\xg1\\x4\""), (std::vector<std::string>{"X", "JKxg1x4"}));
    EXPECT_EQ(*CommandLine::Split("X a\\x41"), (std::vector<std::string>{"X", "a\\x41"})) << "only quoted words";
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
