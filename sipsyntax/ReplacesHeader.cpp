#include "sipsyntax/ReplacesHeader.h"

#include "sipsyntax/SipUri.h"

namespace {

// Sets `slot` from a tag parameter; false when the tag is empty or given twice.
bool TakeTag(const std::string& value, std::string& slot)
{
    if (value.empty() || !slot.empty())
        return false;
    slot = value;
    return true;
}

} // namespace

bool ReplacesHeader::Parse(const std::string& value, ReplacesHeader& replaces)
{
    replaces = ReplacesHeader();
    std::size_t start = value.find(';');
    replaces.callId = SipUri::Trim(value.substr(0, start));
    if (replaces.callId.empty())
        return false;
    while (start != std::string::npos) {
        std::size_t end = value.find(';', start + 1);
        std::string parameter = value.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
        std::size_t equals = parameter.find('=');
        std::string name = SipUri::ToLower(SipUri::Trim(parameter.substr(0, equals)));
        std::string tag = equals == std::string::npos ? std::string() : SipUri::Trim(parameter.substr(equals + 1));
        if (name == "to-tag" && !TakeTag(tag, replaces.toTag))
            return false;
        if (name == "from-tag" && !TakeTag(tag, replaces.fromTag))
            return false;
        if (name == "early-only")
            replaces.earlyOnly = true;
        start = end;
    }
    return !replaces.toTag.empty() && !replaces.fromTag.empty();
}
