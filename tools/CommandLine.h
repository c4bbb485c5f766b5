#pragma once

#include <optional>
#include <string>
#include <vector>

// The text form of orvua's line protocol: splitting an input line into words and
// quoting strings for output.
class CommandLine {
public:
    // Words are separated by blanks; a word in double quotes may hold blanks and the
    // escapes \" \\ \r \n and \xHH (any byte). Nothing when a quote is left open.
    static std::optional<std::vector<std::string>> Split(const std::string& line);
    // Double quotes around the text, with \" \\ \r and \n escapes, and \xHH for
    // every other control byte, the UTF-8 bytes of the C1 controls and every byte
    // that is not part of well-formed UTF-8: the line is UTF-8 without a control
    // character, whatever the text held.
    static std::string Quote(const std::string& text);
    static std::optional<int> ParseInt(const std::string& word);
    static std::optional<bool> ParseBool(const std::string& word);
};
