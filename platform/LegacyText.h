#pragma once

#include <string>
#include <string_view>

// Text from files that Windows-era tools wrote in a single-byte code page: taken as
// UTF-8 when it is valid UTF-8, and otherwise as Windows-1252, so that every byte
// keeps its letter instead of becoming a replacement character.
class LegacyText {
public:
    static bool IsValidUtf8(std::string_view text);
    // The text in UTF-8.
    static std::string ToUtf8(std::string_view text);

private:
    static void AppendUtf8(std::string& out, char32_t letter);
};
