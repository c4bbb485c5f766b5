#include "useragent/CodecList.h"

#include <algorithm>

namespace {

struct CodecEntry {
    const char* name;
    const char* payloadType;
    const char* rtpMap;
};

constexpr std::array<CodecEntry, CodecList::CodecCount> Codecs = {{
    {"GSM", "3", "GSM/8000"},
    {"iLBC", "98", "iLBC/8000"},
    {"PCMA", "8", "PCMA/8000"},
    {"PCMU", "0", "PCMU/8000"},
    {"G729", "18", "G729/8000"},
}};

constexpr int Gsm = 0;
constexpr int Ilbc = 1;
constexpr int Pcma = 2;
constexpr int Pcmu = 3;
constexpr int G729 = 4;

} // namespace

bool CodecList::IsAvailable(int codecNo)
{
#ifdef ORVSIP_HAVE_ILBC
    return IsValid(codecNo);
#else
    return IsValid(codecNo) && codecNo != Ilbc;
#endif
}

int CodecList::CodecIndexOfName(const std::string& name)
{
    if (name == "GSM")
        return Gsm;
    if (name == "iLBC")
        return Ilbc;
    if (name == "PCMU")
        return Pcmu;
    if (name == "G729")
        return G729;
    return Pcma;
}

CodecList CodecList::DefaultSelection()
{
    CodecList list;
    list.SelectAll();
    return list;
}

CodecList CodecList::CallDefault()
{
    CodecList list;
    for (int codecNo : {Gsm, Ilbc, Pcma, Pcmu, G729})
        list.Append(codecNo);
    return list;
}

void CodecList::SelectAll()
{
    DeselectAll();
    for (int codecNo : {G729, Gsm, Ilbc, Pcma, Pcmu})
        Append(codecNo);
}

void CodecList::DeselectAll()
{
    payloadTypes_.clear();
    rtpMaps_.clear();
    names_.clear();
}

void CodecList::Select(int codecNo)
{
    Remove(codecNo);
    Append(codecNo);
}

void CodecList::Deselect(int codecNo)
{
    Remove(codecNo);
}

void CodecList::ApplyFallback()
{
    if (!payloadTypes_.empty() && !rtpMaps_.empty() && !names_.empty())
        return;
    DeselectAll();
    Append(Pcmu);
    Append(Pcma);
}

std::string CodecList::FirstCommon(const std::array<std::string, 5>& peerNames) const
{
    for (const std::string& name : names_) {
        if (std::find(peerNames.begin(), peerNames.end(), name) != peerNames.end())
            return name;
    }
    return {};
}

// A codec this build cannot run is never put into an offer.
void CodecList::Append(int codecNo)
{
    if (!IsAvailable(codecNo))
        return;
    const CodecEntry& codec = Codecs[static_cast<std::size_t>(codecNo)];
    payloadTypes_.emplace_back(codec.payloadType);
    rtpMaps_.emplace_back(codec.rtpMap);
    names_.emplace_back(codec.name);
}

void CodecList::Remove(int codecNo)
{
    if (!IsValid(codecNo))
        return;
    auto found = std::find(names_.begin(), names_.end(), Codecs[static_cast<std::size_t>(codecNo)].name);
    if (found == names_.end())
        return;
    auto at = found - names_.begin();
    names_.erase(found);
    payloadTypes_.erase(payloadTypes_.begin() + at);
    rtpMaps_.erase(rtpMaps_.begin() + at);
}
