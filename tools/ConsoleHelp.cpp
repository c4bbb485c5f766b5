#include "tools/ConsoleHelp.h"

#include <algorithm>

const char* ConsoleHelp::TypeName(OrvType type)
{
    switch (type) {
    case OrvType::Bool: return "boolean";
    case OrvType::Int: return "integer";
    case OrvType::String: return "string";
    case OrvType::None: break;
    }
    return "nothing";
}

std::string ConsoleHelp::Signature(const OrvMemberInfo& member)
{
    std::string text = member.name;
    for (const OrvParameter& parameter : member.parameters)
        text += " " + parameter.name;
    return text;
}

std::vector<std::string> ConsoleHelp::SortedSignatures(const std::vector<OrvMemberInfo>& members)
{
    std::vector<std::string> lines;
    for (const OrvMemberInfo& member : members)
        lines.push_back(Signature(member));
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<std::string> ConsoleHelp::MethodList(const std::vector<OrvMemberInfo>& methods)
{
    std::vector<std::string> lines = {
        "Methods: one call per line, Name then its arguments separated by blanks;",
        "strings holding blanks or quotes in double quotes, booleans true or false.",
    };
    for (const std::string& signature : SortedSignatures(methods))
        lines.push_back("  " + signature);
    lines.push_back("Console commands: help [Name], events, wait MS, waitfor EventName [MS], quit.");
    return lines;
}

std::vector<std::string> ConsoleHelp::EventList(const std::vector<OrvMemberInfo>& events)
{
    std::vector<std::string> lines = {"Events, printed as they arrive: ! Name arguments"};
    for (const std::string& signature : SortedSignatures(events))
        lines.push_back("  " + signature);
    return lines;
}

std::vector<std::string> ConsoleHelp::Describe(const OrvMemberInfo& member, bool isEvent)
{
    std::string heading = (isEvent ? "event " : "") + Signature(member);
    if (!isEvent)
        heading += std::string(" -> ") + TypeName(member.result);
    std::vector<std::string> lines = {heading, "  " + member.help};
    for (const OrvParameter& parameter : member.parameters)
        lines.push_back("  " + parameter.name + ": " + TypeName(parameter.type));
    return lines;
}
