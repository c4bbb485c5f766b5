#include "cti/CtiRecordFile.h"

#include "platform/IniFile.h"

#include <sys/stat.h>

#include <cstdio>

namespace {

constexpr const char* kSection = "ACTION";

} // namespace

bool CtiRecordFile::HasContent() const
{
    struct stat info {};
    return stat(path_.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
}

CtiEventQueue::Record CtiRecordFile::Read() const
{
    const IniFile ini(path_);
    return {ini.Read(kSection, "COMMAND"), ini.Read(kSection, "PARAMETER"), ini.Read(kSection, "MESSAGE")};
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
