#include "platform/TempFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

TempFile::~TempFile()
{
    close(fd_);
}

std::string TempFile::Directory()
{
    const char* variable = std::getenv("TMPDIR");
    std::string directory = variable != nullptr ? variable : "";
    while (directory.size() > 1 && directory.back() == '/')
        directory.pop_back();
    return directory.empty() ? "/tmp" : directory;
}

std::unique_ptr<TempFile> TempFile::Create(const std::string& prefix)
{
    std::string pattern = Directory() + "/" + prefix + "XXXXXX";
    // mkstemp makes the file with mode 0600 whatever the umask.
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    unlink(pattern.c_str());
    return std::unique_ptr<TempFile>(new TempFile(fd));
}

bool TempFile::Append(const void* data, std::size_t bytes)
{
    const auto* at = static_cast<const char*>(data);
    if (lseek(fd_, 0, SEEK_END) < 0)
        return false;
    while (bytes > 0) {
        const ssize_t written = write(fd_, at, bytes);
        if (written <= 0)
            return false;
        at += written;
        bytes -= static_cast<std::size_t>(written);
    }
    return true;
}

bool TempFile::ReadAll(std::vector<std::uint8_t>& content) const
{
    content.clear();
    const std::int64_t size = Size();
    if (size < 0)
        return false;
    content.resize(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t got = pread(fd_, content.data() + done, content.size() - done, static_cast<off_t>(done));
        if (got <= 0) {
            content.clear();
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

std::int64_t TempFile::ReadAt(std::int64_t offset, void* data, std::size_t bytes) const
{
    auto* at = static_cast<char*>(data);
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t got = pread(fd_, at + done, bytes - done, static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

bool TempFile::Truncate()
{
    return ftruncate(fd_, 0) == 0;
}

std::int64_t TempFile::Size() const
{
    struct stat status {};
    return fstat(fd_, &status) == 0 ? static_cast<std::int64_t>(status.st_size) : -1;
}
