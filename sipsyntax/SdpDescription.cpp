#include "sipsyntax/SdpDescription.h"

#include "sipsyntax/OsipLibrary.h"
#include "sipsyntax/OsipText.h"
#include "sipsyntax/SipUri.h"

#include <osipparser2/osip_port.h>
#include <osipparser2/sdp_message.h>

#include <atomic>
#include <cstdlib>
#include <ctime>

namespace {

std::atomic<int> sessionCounter{1};

// Time in seconds followed by the next session number; used as both id and version.
std::string NewSessionId()
{
    return std::to_string(static_cast<long long>(std::time(nullptr))) + std::to_string(++sessionCounter);
}

char* Copy(const std::string& text)
{
    return OsipText::Copy(text);
}

// The parser library reads past the end of a text holding a CR that no LF follows,
// so it gets the text up to its first NUL (all it would read) with every line
// ending, CR, LF or both, written CRLF.
std::string ParserSafeText(const std::string& text)
{
    std::string safe;
    safe.reserve(text.size() + 16);
    for (std::size_t at = 0; at < text.size() && text[at] != '\0'; ++at) {
        char c = text[at];
        if (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n')
            continue;
        if (c == '\r' || c == '\n')
            safe += "\r\n";
        else
            safe += c;
    }
    return safe;
}

int NumberBeforeBlank(const std::string& value)
{
    return std::atoi(value.substr(0, value.find(' ')).c_str());
}

} // namespace

SdpDescription::~SdpDescription()
{
    Free();
}

bool SdpDescription::Init()
{
    Free();
    OsipLibrary::Prepare();
    return sdp_message_init(&sdp_) == 0;
}

bool SdpDescription::Parse(const std::string& text)
{
    Free();
    if (text.empty())
        return false;
    raw_ = text;
    OsipLibrary::Prepare();
    if (sdp_message_init(&sdp_) != 0)
        return false;
    if (sdp_message_parse(sdp_, ParserSafeText(text).c_str()) != 0) {
        Free();
        return false;
    }
    return true;
}

void SdpDescription::Free()
{
    if (sdp_ != nullptr)
        sdp_message_free(sdp_);
    sdp_ = nullptr;
}

void SdpDescription::AddMediaAttribute(const std::string& name, const std::string& value)
{
    sdp_message_a_attribute_add(sdp_, 0, Copy(name), value.empty() ? nullptr : Copy(value));
}

bool SdpDescription::BuildOffer(const SdpOfferParams& params, std::string& output)
{
    if (sdp_ == nullptr && !Init())
        return false;
    std::string sessionId = NewSessionId();
    sdp_message_v_version_set(sdp_, Copy("0"));
    sdp_message_t_time_descr_add(sdp_, Copy("0"), Copy("0"));
    std::string owner = params.ownerUserName.empty() ? "-" : params.ownerUserName;
    sdp_message_o_origin_set(sdp_, Copy(owner), Copy(sessionId), Copy(sessionId), Copy("IN"), Copy("IP4"),
                             Copy(params.originAddress));
    sdp_message_s_name_set(sdp_, Copy(params.sessionName));
    sdp_message_m_media_add(sdp_, Copy("audio"), Copy(std::to_string(params.mediaPort)), nullptr,
                           Copy(params.profile));
    sdp_message_c_connection_add(sdp_, -1, Copy("IN"), Copy("IP4"), Copy(params.connectionAddress), nullptr,
                                 nullptr);
    for (std::size_t at = 0; at < params.payloads.size() && at < params.rtpMaps.size(); ++at) {
        const std::string& payload = params.payloads[at];
        sdp_message_m_payload_add(sdp_, 0, Copy(payload));
        AddMediaAttribute("rtpmap", payload + " " + params.rtpMaps[at]);
        if (payload == "18")
            AddMediaAttribute("fmtp", "18 annexb=no");
    }
    sdp_message_m_payload_add(sdp_, 0, Copy("101"));
    AddMediaAttribute("rtpmap", "101 telephone-event/8000");
    AddMediaAttribute("fmtp", "101 0-16");
    if (params.rtcpPort > 0 && params.rtcpPort != params.mediaPort + 1)
        AddMediaAttribute("rtcp", std::to_string(params.rtcpPort));
    if (params.rtcpMux)
        AddMediaAttribute("rtcp-mux", {});
    for (const std::string& crypto : params.cryptos)
        AddMediaAttribute("crypto", crypto);
    if (!params.direction.empty())
        AddMediaAttribute(params.direction, {});
    output = ToText();
    return true;
}

std::string SdpDescription::ToText() const
{
    char* printed = nullptr;
    if (sdp_ == nullptr || sdp_message_to_str(sdp_, &printed) != 0)
        return {};
    return OsipText::Take(printed);
}

bool SdpDescription::GetConnectionAddress(std::string& address) const
{
    address.clear();
    if (sdp_ == nullptr)
        return false;
    const char* session = sdp_message_c_addr_get(sdp_, -1, 0);
    const char* media = sdp_message_c_addr_get(sdp_, 0, 0);
    if (session != nullptr && *session != '\0')
        address = session;
    else if (media != nullptr)
        address = media;
    return !address.empty();
}

bool SdpDescription::GetMediaPort(int& port) const
{
    const char* text = sdp_ != nullptr ? sdp_message_m_port_get(sdp_, 0) : nullptr;
    if (text == nullptr)
        return false;
    port = static_cast<int>(std::atol(text));
    return true;
}

std::string SdpDescription::GetDirection() const
{
    std::string lower = SipUri::ToLower(raw_);
    if (lower.find("recvonly") != std::string::npos)
        return "recvonly";
    if (lower.find("sendonly") != std::string::npos)
        return "sendonly";
    // A peer that sends and receives nothing holds the call just as much.
    if (lower.find("inactive") != std::string::npos)
        return "inactive";
    return {};
}

const char* SdpDescription::AttributeValue(int media, const char* name) const
{
    for (int at = 0; const char* field = sdp_message_a_att_field_get(sdp_, media, at); ++at) {
        if (SipUri::ToLower(field) == name)
            return sdp_message_a_att_value_get(sdp_, media, at);
    }
    return nullptr;
}

bool SdpDescription::HasAttribute(int media, const char* name) const
{
    for (int at = 0; const char* field = sdp_message_a_att_field_get(sdp_, media, at); ++at) {
        if (SipUri::ToLower(field) == name)
            return true;
    }
    return false;
}

SdpRtcp SdpDescription::GetRtcp() const
{
    SdpRtcp rtcp;
    if (sdp_ == nullptr)
        return rtcp;
    rtcp.multiplexed = HasAttribute(0, "rtcp-mux");
    const char* value = AttributeValue(0, "rtcp");
    if (value == nullptr)
        return rtcp;
    // "PORT" or "PORT IN IP4 ADDRESS".
    char* end = nullptr;
    const long port = std::strtol(value, &end, 10);
    if (end == value || port <= 0 || port > 65535 || (*end != '\0' && *end != ' '))
        return rtcp;
    rtcp.port = static_cast<int>(port);
    const std::string rest = end;
    const std::string prefix = " IN IP4 ";
    if (rest.size() > prefix.size() && SipUri::ToUpper(rest.substr(0, prefix.size())) == prefix)
        rtcp.address = rest.substr(prefix.size());
    return rtcp;
}

int SdpDescription::GetPacketTime() const
{
    static constexpr long LongestPacketMs = 1000;
    if (sdp_ == nullptr)
        return 0;
    const char* value = AttributeValue(0, "ptime");
    if (value == nullptr)
        value = AttributeValue(-1, "ptime");
    if (value == nullptr)
        return 0;
    char* end = nullptr;
    long milliseconds = std::strtol(value, &end, 10);
    if (end == value || milliseconds <= 0 || milliseconds > LongestPacketMs)
        return 0;
    return static_cast<int>(milliseconds);
}

std::string SdpDescription::GetMediaProfile() const
{
    const char* profile = sdp_ != nullptr ? sdp_message_m_proto_get(sdp_, 0) : nullptr;
    return profile != nullptr ? profile : std::string();
}

std::vector<std::string> SdpDescription::GetCryptoAttributes() const
{
    std::vector<std::string> values;
    if (sdp_ == nullptr)
        return values;
    for (int at = 0; const char* field = sdp_message_a_att_field_get(sdp_, 0, at); ++at) {
        const char* value = sdp_message_a_att_value_get(sdp_, 0, at);
        if (SipUri::ToLower(field) == "crypto" && value != nullptr)
            values.emplace_back(value);
    }
    return values;
}

void SdpDescription::GetCodecMap(CodecNames& names, CodecPayloads& payloads, int& telephoneEventPayload) const
{
    telephoneEventPayload = -1;
    names.fill(NoCodec);
    if (sdp_ == nullptr)
        return;
    for (int at = 0; const char* payload = sdp_message_m_payload_get(sdp_, 0, at); ++at) {
        std::string number = SipUri::ToUpper(payload);
        if (number == "3") {
            payloads.gsm = 3;
            names[0] = "GSM";
        } else if (number == "0") {
            payloads.pcmu = 0;
            names[2] = "PCMU";
        } else if (number == "8") {
            payloads.pcma = 8;
            names[3] = "PCMA";
        } else if (number == "18") {
            payloads.g729 = 18;
            names[4] = "G729";
        }
    }
    for (int at = 0; sdp_message_a_att_field_get(sdp_, 0, at) != nullptr; ++at) {
        const char* rawValue = sdp_message_a_att_value_get(sdp_, 0, at);
        std::string value = SipUri::ToUpper(rawValue != nullptr ? rawValue : "");
        if (value.find(" ILBC/") != std::string::npos) {
            payloads.ilbc = NumberBeforeBlank(value);
            names[1] = "iLBC";
        } else if (value.find(" TELEPHONE-EVENT/") != std::string::npos) {
            telephoneEventPayload = NumberBeforeBlank(value);
        }
    }
}
