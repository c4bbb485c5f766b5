#include "platform/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
