#include "cti/CtiRecordFile.h"

#include "platform/IniFile.h"
#include "platform/RegularFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace {

constexpr const char* kSection = "ACTION";

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
    const std::optional<std::string> claim = RegularFile::RenameToFreshName(path_, ".claim-");
    if (!claim)
        return std::nullopt;
    const CtiRecordFile taken(*claim);
    std::optional<std::string> text = taken.ReadText(limit);
    taken.Remove();
    return text;
}
