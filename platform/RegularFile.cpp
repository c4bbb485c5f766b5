#include "platform/RegularFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace {

constexpr int kRenameAttempts = 8;

std::string RandomTail()
{
    static std::mt19937_64 generator{std::random_device{}()};
    constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string tail;
    for (int i = 0; i < 12; ++i)
        tail += kDigits[generator() % (sizeof kDigits - 1)];
    return tail;
}

} // namespace

int RegularFile::OpenForReading(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

bool RegularFile::AppendPrivately(const std::string& path, const std::string& text)
{
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    struct stat info {};
    bool written = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                   ((info.st_mode & 077) == 0 || fchmod(fd, info.st_mode & 0700) == 0);
    for (std::size_t done = 0; written && done < text.size();) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        written = wrote > 0;
        done += written ? static_cast<std::size_t>(wrote) : 0;
    }
    close(fd);
    return written;
}

bool RegularFile::MakeOwnerOnly(const std::string& path)
{
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return true;
    if ((info.st_mode & 077) == 0)
        return true;
    const int fd = OpenForReading(path);
    if (fd < 0)
        return false;
    const bool done = fchmod(fd, info.st_mode & 0700) == 0;
    close(fd);
    return done;
}

std::optional<std::string> RegularFile::RenameToFreshName(const std::string& path, const std::string& suffix)
{
    for (int attempt = 0; attempt < kRenameAttempts; ++attempt) {
        std::string fresh = path + suffix + RandomTail();
        if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, fresh.c_str(), RENAME_NOREPLACE) == 0)
            return fresh;
        if (errno != EEXIST)
            return std::nullopt;
    }
    return std::nullopt;
}
