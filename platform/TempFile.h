#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A temporary file of our own in $TMPDIR (or /tmp), readable and writable by its
// owner only, under a unique name with a given prefix. Removed when destroyed.
class TempFile {
public:
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Null when no such file can be created.
    static std::unique_ptr<TempFile> Create(const std::string& prefix);
    // The directory temporary files go to.
    static std::string Directory();

    const std::string& Path() const { return path_; }
    // Appends; false when not everything was written.
    bool Append(const void* data, std::size_t bytes);
    // The whole content; empty (and false) when it cannot be read.
    bool ReadAll(std::vector<std::uint8_t>& content) const;
    bool Truncate();
    std::int64_t Size() const;

private:
    TempFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

    int fd_;
    std::string path_;
};
