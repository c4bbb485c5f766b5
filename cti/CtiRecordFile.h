#pragma once

#include "cti/CtiEventQueue.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// INPUT.INI or OUTPUT.INI: one record in section "ACTION" with the keys "COMMAND",
// "PARAMETER" and "MESSAGE". The file's existence is the handshake: an empty or
// missing file counts as absent, and so does a symbolic link, which is never followed.
class CtiRecordFile {
public:
    // What tells one version of the file from the next one: a client rewriting or
    // appending changes at least one of these.
    struct Version {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t size = 0;
        std::int64_t modifiedNs = 0;
        bool operator==(const Version&) const = default;
    };

    explicit CtiRecordFile(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }
    bool HasContent() const;
    // A regular, non-empty file's version; nothing for anything else.
    std::optional<Version> CurrentVersion() const;
    CtiEventQueue::Record Read() const;
    // At most `limit` bytes of a regular file (never blocks on a pipe or device
    // put in its place); nothing when there is no such file.
    std::optional<std::string> ReadText(std::size_t limit) const;
    // The three keys in the order COMMAND, PARAMETER, MESSAGE, replacing the file at
    // once, so that a client never reads half a record.
    bool Write(const CtiEventQueue::Record& record) const;
    void Remove() const;
    // Takes the file away under a fresh name of its own (never one that exists, so
    // nothing put in the folder beforehand can stop it) and reads (at most `limit`
    // bytes of) it: what is read is one version of the file, and a record written
    // meanwhile is a new file. Nothing when the file is gone or cannot be taken.
    std::optional<std::string> Take(std::size_t limit) const;

private:
    std::string path_;
};
