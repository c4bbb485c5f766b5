#include "platform/IniFile.h"
#include "platform/RegularFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>

namespace {

// No section or key we look up is this long, and no value survives this long: the rest
// of a longer line can be skipped unread into memory.
constexpr std::size_t kLineKeep = 4096;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

// The section a line opens, or nothing when it is not a section header.
std::optional<std::string_view> SectionHeader(std::string_view line)
{
    line = Trim(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    line.remove_prefix(1);
    const std::size_t close = line.find(']');
    return Trim(line.substr(0, close));
}

bool IsComment(std::string_view line)
{
    line = Trim(line);
    return !line.empty() && line.front() == ';';
}

// The key of a "key=value" line, or nothing for any other line.
std::optional<std::string_view> KeyOf(std::string_view line)
{
    if (IsComment(line))
        return std::nullopt;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    return Trim(line.substr(0, equals));
}

std::string ValueOf(std::string_view line)
{
    std::string_view value = Trim(line.substr(line.find('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value.substr(0, IniFile::kMaxValueLength));
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

// Only a regular file is read: a directory or a FIFO in its place must neither fail
// with an exception nor block the program.
FilePointer OpenRegularFile(const std::string& path)
{
    const int fd = RegularFile::OpenForReading(path);
    if (fd < 0)
        return nullptr;
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr)
        close(fd);
    return FilePointer(file);
}

bool ReadAll(std::FILE* file, std::string& text)
{
    char chunk[8192];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    return std::ferror(file) == 0;
}

// Reads one line, keeping at most kLineKeep characters of it; false at the end.
bool ReadCutLine(std::FILE* file, std::string& line)
{
    line.clear();
    int c = std::getc(file);
    if (c == EOF)
        return false;
    while (c != EOF && c != '\n') {
        if (line.size() < kLineKeep)
            line.push_back(static_cast<char>(c));
        c = std::getc(file);
    }
    return true;
}

bool IsValidName(std::string_view name, std::string_view forbidden)
{
    return !Trim(name).empty() && name.find_first_of(forbidden) == std::string_view::npos;
}

std::string OneLine(std::string value)
{
    for (char& c : value) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return value;
}

// Finds a key line by line: true for the line that holds the key in its section.
struct KeySearch {
    std::string_view section;
    std::string_view key;
    bool inSection = false;

    bool Matches(std::string_view line)
    {
        if (const auto header = SectionHeader(line)) {
            inSection = SameText(*header, section);
            return false;
        }
        const auto found = inSection ? KeyOf(line) : std::nullopt;
        return found && SameText(*found, key);
    }
};

// Where in lines the section's key is (or where it would be inserted); -1 when the
// section itself is absent.
struct KeyPlace {
    long sectionLine = -1;
    long keyLine = -1;
    long insertAt = -1;
};

KeyPlace FindKey(const std::vector<std::string>& lines, std::string_view section, std::string_view key)
{
    KeyPlace place;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto header = SectionHeader(lines[i]);
        if (header) {
            if (place.sectionLine >= 0)
                break;
            if (SameText(*header, section)) {
                place.sectionLine = static_cast<long>(i);
                place.insertAt = static_cast<long>(i) + 1;
            }
            continue;
        }
        if (place.sectionLine < 0)
            continue;
        if (!Trim(lines[i]).empty())
            place.insertAt = static_cast<long>(i) + 1;
        const auto found = KeyOf(lines[i]);
        if (found && SameText(*found, key)) {
            place.keyLine = static_cast<long>(i);
            return place;
        }
    }
    return place;
}

void Apply(std::vector<std::string>& lines, const IniFile::Entry& entry)
{
    std::string line = entry.key + "=" + OneLine(entry.value);
    const KeyPlace place = FindKey(lines, entry.section, entry.key);
    if (place.keyLine >= 0) {
        lines[static_cast<std::size_t>(place.keyLine)] = std::move(line);
        return;
    }
    if (place.sectionLine >= 0) {
        lines.insert(lines.begin() + place.insertAt, std::move(line));
        return;
    }
    if (!lines.empty() && !Trim(lines.back()).empty())
        lines.emplace_back();
    lines.push_back("[" + entry.section + "]");
    lines.push_back(std::move(line));
}

} // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

std::string IniFile::Read(const std::string& section, const std::string& key) const
{
    FilePointer file = OpenRegularFile(path_);
    if (!file)
        return {};
    KeySearch search{section, key};
    std::string line;
    while (ReadCutLine(file.get(), line)) {
        if (search.Matches(line))
            return ValueOf(line);
    }
    return {};
}

std::optional<std::string> IniFile::Find(std::string_view text, std::string_view section, std::string_view key)
{
    KeySearch search{section, key};
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, std::min(end, kLineKeep));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (search.Matches(line))
            return ValueOf(line);
    }
    return std::nullopt;
}

bool IniFile::Write(const std::string& section, const std::string& key, const std::string& value)
{
    return Write(std::vector<Entry>{{section, key, value}});
}

bool IniFile::Write(const std::vector<Entry>& entries)
{
    for (const Entry& entry : entries) {
        if (!IsValidName(entry.section, "]\r\n") || !IsValidName(entry.key, "=\r\n") || IsComment(entry.key))
            return false;
    }
    std::vector<std::string> lines;
    if (!LoadLines(lines))
        return false;
    for (const Entry& entry : entries)
        Apply(lines, entry);
    return Replace(lines);
}

bool IniFile::LoadLines(std::vector<std::string>& lines) const
{
    struct stat info {};
    if (lstat(path_.c_str(), &info) != 0 || S_ISLNK(info.st_mode))
        return true; // no file yet (a link counts as none): the write creates it
    if (static_cast<std::size_t>(info.st_size) > kMaxRewriteSize)
        return false;
    FilePointer file = OpenRegularFile(path_);
    std::string text;
    if (!file || !ReadAll(file.get(), text))
        return false;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t stop = end == std::string::npos ? text.size() : end;
        lines.push_back(text.substr(start, stop - start));
        start = stop + 1;
    }
    return true;
}

bool IniFile::Replace(const std::vector<std::string>& lines) const
{
    std::string temporary = path_ + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        return false;
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    bool written = fchmod(fd, 0600) == 0;
    for (std::size_t done = 0; written && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        written = n > 0;
        done += written ? static_cast<std::size_t>(n) : 0;
    }
    written = written && fsync(fd) == 0;
    written = (::close(fd) == 0) && written;
    if (!written || std::rename(temporary.c_str(), path_.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
