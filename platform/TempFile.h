#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A temporary file of our own in $TMPDIR (or /tmp), readable and writable by its
// owner only. Its name (a given prefix and a unique ending) is removed as soon as it
// is made: the file lives while it is open, so a process that is killed leaves
// nothing behind.
class TempFile {
public:
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Null when no such file can be created.
    static std::unique_ptr<TempFile> Create(const std::string& prefix);
    // The directory temporary files go to.
    static std::string Directory();

    // Appends; false when not everything was written.
    bool Append(const void* data, std::size_t bytes);
    // The whole content; empty (and false) when it cannot be read.
    bool ReadAll(std::vector<std::uint8_t>& content) const;
    // Up to `bytes` from `offset` on; how many were read, -1 on an error. Safe while
    // another thread appends.
    std::int64_t ReadAt(std::int64_t offset, void* data, std::size_t bytes) const;
    bool Truncate();
    std::int64_t Size() const;

private:
    explicit TempFile(int fd) : fd_(fd) {}

    int fd_;
};
