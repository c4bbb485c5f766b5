#include "platform/LegacyText.h"

#include <gtest/gtest.h>

TEST(LegacyText, ValidUtf8StaysAndAnythingElseIsWindows1252)
{
    EXPECT_EQ(LegacyText::ToUtf8("Jos\xC3\xA9 \xE2\x82\xAC 1001"), "Jos\xC3\xA9 \xE2\x82\xAC 1001");
    EXPECT_EQ(LegacyText::ToUtf8("Jos\xE9"), "Jos\xC3\xA9");
    EXPECT_EQ(LegacyText::ToUtf8("s\xE9" "cret"), "s\xC3\xA9" "cret");
    EXPECT_EQ(LegacyText::ToUtf8("\x80\x9F\xFF"), "\xE2\x82\xAC\xC5\xB8\xC3\xBF") << "euro, Y diaeresis, y diaeresis";
    EXPECT_EQ(LegacyText::ToUtf8("\x81"), "\xC2\x81") << "an undefined byte keeps its C1 value";
    EXPECT_EQ(LegacyText::ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
    // Sequences that only look like UTF-8 are read byte by byte.
    for (const char* invalid : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC3", "\xE2\x82"}) {
        EXPECT_FALSE(LegacyText::IsValidUtf8(invalid)) << invalid;
        EXPECT_TRUE(LegacyText::IsValidUtf8(LegacyText::ToUtf8(invalid)));
    }
    EXPECT_TRUE(LegacyText::IsValidUtf8("\xF0\x9F\x93\x9E"));
}
