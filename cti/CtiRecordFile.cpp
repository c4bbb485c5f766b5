#include "cti/CtiRecordFile.h"

#include "platform/IniFile.h"
#include "platform/RegularFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

namespace {

constexpr const char* kSection = "ACTION";
constexpr int kClaimAttempts = 8;

// A name nobody can know before: whatever someone put in the folder, one of the
// attempts is free.
std::string UniqueName(const std::string& path)
{
    static std::mt19937_64 generator{std::random_device{}()};
    constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string name = path + ".claim-";
    for (int i = 0; i < 12; ++i)
        name += kDigits[generator() % (sizeof kDigits - 1)];
    return name;
}

} // namespace

bool CtiRecordFile::HasContent() const
{
    return CurrentVersion().has_value();
}

std::optional<CtiRecordFile::Version> CtiRecordFile::CurrentVersion() const
{
    struct stat info {};
    if (lstat(path_.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0)
        return std::nullopt;
    return Version{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                   static_cast<std::int64_t>(info.st_size),
                   static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

CtiEventQueue::Record CtiRecordFile::Read() const
{
    const IniFile ini(path_);
    return {ini.Read(kSection, "COMMAND"), ini.Read(kSection, "PARAMETER"), ini.Read(kSection, "MESSAGE")};
}

std::optional<std::string> CtiRecordFile::ReadText(std::size_t limit) const
{
    const int fd = RegularFile::OpenForReading(path_);
    if (fd < 0)
        return std::nullopt;
    std::string text(limit, '\0');
    std::size_t done = 0;
    while (done < limit) {
        const ssize_t n = read(fd, text.data() + done, limit - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    text.resize(done);
    close(fd);
    return text;
}

bool CtiRecordFile::Write(const CtiEventQueue::Record& record) const
{
    IniFile ini(path_);
    return ini.Write({{kSection, "COMMAND", record.command},
                      {kSection, "PARAMETER", record.parameter},
                      {kSection, "MESSAGE", record.message}});
}

void CtiRecordFile::Remove() const
{
    std::remove(path_.c_str());
}

std::optional<std::string> CtiRecordFile::Take(std::size_t limit) const
{
    for (int attempt = 0; attempt < kClaimAttempts; ++attempt) {
        const CtiRecordFile taken(UniqueName(path_));
        if (renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, taken.Path().c_str(), RENAME_NOREPLACE) == 0) {
            std::optional<std::string> text = taken.ReadText(limit);
            taken.Remove();
            return text;
        }
        if (errno != EEXIST)
            return std::nullopt;
    }
    return std::nullopt;
}
