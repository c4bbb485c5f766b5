#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A Windows-style INI file read and written by profile strings: sections and keys
// compare without case, a missing key reads as empty, a value reads cut to 254
// characters, and a write creates the file and the section when needed while keeping
// every other line (keys, sections, comments) as it was.
//
// Any content reads without harm: lines longer than a value could ever be are cut
// while reading, so a huge or binary file costs time, never unbounded memory.
// Writes go to a temporary file in the same folder, synced to disk and renamed over
// the target, so a reader in another process sees either the old file or the new one,
// never half, and a power cut never leaves an empty file. The file written is the
// owner's alone (0600), whatever the file it replaces allowed. A symbolic link in the
// file's place is never followed: it reads as no file and a write replaces the link.
class IniFile {
public:
    struct Entry {
        std::string section;
        std::string key;
        std::string value;
    };

    static constexpr std::size_t kMaxValueLength = 254;

    explicit IniFile(std::string path);

    const std::string& Path() const { return path_; }

    std::string Read(const std::string& section, const std::string& key) const;
    // The value of a key in INI text already in memory, read as Read() reads a file;
    // nothing when the section or the key is absent (an empty value is a value).
    static std::optional<std::string> Find(std::string_view text, std::string_view section, std::string_view key);

    // Line breaks inside a value are written as blanks: a value is one line.
    bool Write(const std::string& section, const std::string& key, const std::string& value);
    // Several keys in one replacement of the file, in the order given.
    bool Write(const std::vector<Entry>& entries);

    // Files larger than this are read but never rewritten (Write fails).
    static constexpr std::size_t kMaxRewriteSize = 16 * 1024 * 1024;

private:
    bool LoadLines(std::vector<std::string>& lines) const;
    bool Replace(const std::vector<std::string>& lines) const;

    std::string path_;
};
