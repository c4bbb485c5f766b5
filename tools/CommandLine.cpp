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
                if (line[at] == '\\' && at + 1 < line.size())
                    word += Unescaped(line[++at]);
                else if (line[at] == '"')
                    closed = true;
                else
                    word += line[at];
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
    for (char c : text) {
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\r': quoted += "\\r"; break;
        case '\n': quoted += "\\n"; break;
        default: quoted += c; break;
        }
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
