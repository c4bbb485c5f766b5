#pragma once

#include <string>

// One program per folder: an exclusive lock (flock) on a lock file in it. A second
// holder's TryLock fails at once while the first lives, in this process or another.
// Release removes the file before it unlocks; a holder that finds its file gone or
// replaced after locking tries again, so two holders never lock two different files.
class FolderLock {
public:
    explicit FolderLock(std::string path) : path_(std::move(path)) {}
    ~FolderLock() { Release(); }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    enum class Outcome {
        Locked,        // this object holds the lock now
        HeldElsewhere, // another holder has it
        Unavailable,   // no lock file can be made there (a folder that is not writable...)
    };

    // The file is made 0600 and never followed as a symbolic link.
    Outcome TryLock();
    bool IsHeld() const { return fd_ >= 0; }
    void Release();
    const std::string& Path() const { return path_; }

private:
    bool IsStillThePath() const;

    std::string path_;
    int fd_ = -1;
};
