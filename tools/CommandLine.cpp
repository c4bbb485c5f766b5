#include "tools/CommandLine.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

char Unescaped(char escaped)
{
    switch (escaped) {
    case 'r': return '\r';
    case 'n': return '\n';
    default: return escaped;
    }
}

int HexValue(char digit)
{
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'a' && digit <= 'f')
        return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    return -1;
}

// The byte of "\xHH" starting at `at` (the backslash), or -1 when the escape is not one.
int HexEscape(const std::string& line, std::size_t at)
{
    if (at + 3 >= line.size() || line[at + 1] != 'x')
        return -1;
    const int high = HexValue(line[at + 2]);
    const int low = HexValue(line[at + 3]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

std::string HexEscaped(unsigned char byte)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    return std::string("\\x") + Digits[byte >> 4] + Digits[byte & 0xF];
}

bool IsContinuation(const std::string& text, std::size_t at, unsigned char low = 0x80, unsigned char high = 0xBF)
{
    if (at >= text.size())
        return false;
    const auto byte = static_cast<unsigned char>(text[at]);
    return byte >= low && byte <= high;
}

// The length of the well-formed UTF-8 sequence of a code point above U+007F that
// starts at `at`, and the code point; 0 when the bytes there are not one.
std::size_t Utf8Sequence(const std::string& text, std::size_t at, char32_t& codePoint)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    // The second byte's range excludes overlong forms, surrogates and code points
    // beyond U+10FFFF.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (!IsContinuation(text, at + 1, low, high))
        return 0;
    codePoint = lead & (0x7F >> length);
    for (std::size_t next = at + 1; next < at + length; ++next) {
        if (!IsContinuation(text, next))
            return 0;
        codePoint = (codePoint << 6) | (static_cast<unsigned char>(text[next]) & 0x3F);
    }
    return length;
}

// The text of a byte below U+0080 inside quotes.
std::string QuotedAscii(char c)
{
    switch (c) {
    case '"': return "\\\"";
    case '\\': return "\\\\";
    case '\r': return "\\r";
    case '\n': return "\\n";
    default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return HexEscaped(static_cast<unsigned char>(c));
        return std::string(1, c);
    }
}

} // namespace

std::optional<std::vector<std::string>> CommandLine::Split(const std::string& line)
{
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < line.size()) {
        if (line[at] == ' ' || line[at] == '\t') {
            ++at;
            continue;
        }
        std::string word;
        if (line[at] == '"') {
            bool closed = false;
            for (++at; at < line.size() && !closed; ++at) {
                if (const int byte = line[at] == '\\' ? HexEscape(line, at) : -1; byte >= 0) {
                    word += static_cast<char>(byte);
                    at += 3;
                } else if (line[at] == '\\' && at + 1 < line.size()) {
                    word += Unescaped(line[++at]);
                } else if (line[at] == '"') {
                    closed = true;
                } else {
                    word += line[at];
                }
            }
            if (!closed)
                return std::nullopt;
        } else {
            while (at < line.size() && line[at] != ' ' && line[at] != '\t')
                word += line[at++];
        }
        words.push_back(word);
    }
    return words;
}

std::string CommandLine::Quote(const std::string& text)
{
    std::string quoted = "\"";
    for (std::size_t at = 0; at < text.size();) {
        if (static_cast<unsigned char>(text[at]) < 0x80) {
            quoted += QuotedAscii(text[at++]);
            continue;
        }
        char32_t codePoint = 0;
        const std::size_t length = Utf8Sequence(text, at, codePoint);
        if (length == 0) {
            quoted += HexEscaped(static_cast<unsigned char>(text[at++]));
            continue;
        }
        // The C1 controls are as much a terminal's commands as those below 0x20.
        const bool control = codePoint >= 0x80 && codePoint <= 0x9F;
        for (std::size_t end = at + length; at < end; ++at)
            quoted += control ? HexEscaped(static_cast<unsigned char>(text[at])) : std::string(1, text[at]);
    }
    return quoted + "\"";
}

std::optional<int> CommandLine::ParseInt(const std::string& word)
{
    if (word.empty())
        return std::nullopt;
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(word.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<bool> CommandLine::ParseBool(const std::string& word)
{
    if (word == "true" || word == "1")
        return true;
    if (word == "false" || word == "0")
        return false;
    return std::nullopt;
}
