#include "cti/CtiRecordText.h"

#include "platform/IniFile.h"

#include <optional>

CtiRecordText CtiRecordText::Parse(std::string_view text)
{
    constexpr std::string_view kSection = "ACTION";
    const std::optional<std::string> command = IniFile::Find(text, kSection, "COMMAND");
    const std::optional<std::string> parameter = IniFile::Find(text, kSection, "PARAMETER");
    const std::optional<std::string> message = IniFile::Find(text, kSection, "MESSAGE");
    CtiRecordText input;
    input.record = {command.value_or(""), parameter.value_or(""), message.value_or("")};
    input.complete = command && parameter && message;
    return input;
}
