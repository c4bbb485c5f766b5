#include "platform/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kAttempts = 5;

} // namespace

FolderLock::Outcome FolderLock::TryLock()
{
    if (IsHeld())
        return Outcome::Locked;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd_ < 0)
            return Outcome::Unavailable;
        if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            close(fd_);
            fd_ = -1;
            return Outcome::HeldElsewhere;
        }
        if (IsStillThePath())
            return Outcome::Locked;
        // The holder before us removed the file between our open and our lock.
        close(fd_);
        fd_ = -1;
    }
    return Outcome::HeldElsewhere;
}

bool FolderLock::IsStillThePath() const
{
    struct stat held {}, named {};
    return fstat(fd_, &held) == 0 && lstat(path_.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

void FolderLock::Release()
{
    if (!IsHeld())
        return;
    unlink(path_.c_str());
    close(fd_);
    fd_ = -1;
}
