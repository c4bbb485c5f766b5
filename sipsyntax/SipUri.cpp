#include "sipsyntax/SipUri.h"

#include "sipsyntax/OsipLibrary.h"
#include "sipsyntax/OsipText.h"

#include <osipparser2/osip_message.h>
#include <osipparser2/osip_parser.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace SipUri {

namespace {

int PortFromText(const char* text)
{
    if (text == nullptr || *text == '\0')
        return DefaultPort;
    int port = std::atoi(text);
    return port > 0 ? port : DefaultPort;
}

std::string Text(const char* value)
{
    return value == nullptr ? std::string() : std::string(value);
}

// The transport parameter of a URI written without angle brackets ("host;transport=tcp")
// is read as a parameter of the address around it.
SipTransportKind TransportOf(osip_from_t* nameAddr)
{
    const osip_uri_t* url = nameAddr->url;
    if (url->scheme != nullptr && ToLower(url->scheme) == "sips")
        return SipTransportKind::Tls;
    osip_uri_param_t* param = nullptr;
    char* key = const_cast<char*>("transport");
    if (osip_uri_param_get_byname(const_cast<osip_list_t*>(&url->url_params), key, &param) != 0 || param == nullptr)
        osip_generic_param_get_byname(&nameAddr->gen_params, key, &param);
    if (param == nullptr || param->gvalue == nullptr)
        return SipTransportKind::Unspecified;
    const std::string name = ToLower(param->gvalue);
    if (name == "tls")
        return SipTransportKind::Tls;
    if (name == "tcp")
        return SipTransportKind::Tcp;
    return name == "udp" ? SipTransportKind::Udp : SipTransportKind::Unspecified;
}

std::string Format(const char* format, auto... values)
{
    int length = std::snprintf(nullptr, 0, format, values...);
    std::string text(static_cast<std::size_t>(std::max(length, 0)), '\0');
    std::snprintf(text.data(), text.size() + 1, format, values...);
    return text;
}

} // namespace

const char* TransportName(SipTransportKind transport)
{
    switch (transport) {
    case SipTransportKind::Tcp:
        return "TCP";
    case SipTransportKind::Tls:
        return "TLS";
    default:
        return "UDP";
    }
}

int DefaultPortOf(SipTransportKind transport)
{
    return transport == SipTransportKind::Tls ? 5061 : DefaultPort;
}

std::string ToLower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string ToUpper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to)
{
    if (from.empty())
        return text;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string Trim(const std::string& text)
{
    const char* blanks = " \t\r\n";
    std::size_t first = text.find_first_not_of(blanks);
    std::size_t last = text.find_last_not_of(blanks);
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

bool SplitUri(const std::string& text, SipAddress& address)
{
    address = SipAddress();
    std::string lower = ToLower(text);
    std::string input = (lower.find("sip:") == std::string::npos && lower.find("sips:") == std::string::npos)
                            ? "sip:" + text
                            : text;
    OsipLibrary::Prepare();
    osip_from_t* nameAddr = nullptr;
    if (osip_from_init(&nameAddr) != 0)
        return false;
    bool parsed = osip_from_parse(nameAddr, input.c_str()) == 0 && nameAddr->url != nullptr;
    if (parsed) {
        address.displayName = Text(nameAddr->displayname);
        address.scheme = Text(nameAddr->url->scheme);
        address.user = Text(nameAddr->url->username);
        address.host = Text(nameAddr->url->host);
        address.port = PortFromText(nameAddr->url->port);
        address.portGiven = address.port != DefaultPort || (nameAddr->url->port != nullptr &&
                                                              std::atoi(nameAddr->url->port) == DefaultPort);
        address.transport = TransportOf(nameAddr);
    }
    osip_from_free(nameAddr);
    return parsed;
}

bool SplitUriWithMaddr(const std::string& text, SipAddress& address)
{
    if (!SplitUri(text, address))
        return false;
    address.user = address.user.substr(0, address.user.find(';'));
    std::size_t at = ToLower(text).find("maddr=");
    if (at != std::string::npos) {
        std::string rest = text.substr(at + 6);
        address.maddr = rest.substr(0, rest.find(';'));
    }
    return true;
}

std::string BuildNameAddr(const std::string& host, int port, const std::string& user, const std::string& scheme,
                          const std::string& displayName)
{
    OsipLibrary::Prepare();
    osip_from_t* nameAddr = nullptr;
    osip_uri_t* uri = nullptr;
    if (osip_from_init(&nameAddr) != 0)
        return {};
    if (osip_uri_init(&uri) != 0) {
        osip_from_free(nameAddr);
        return {};
    }
    osip_uri_set_scheme(uri, OsipText::Copy(scheme));
    if (!user.empty())
        osip_uri_set_username(uri, OsipText::Copy(user));
    osip_uri_set_host(uri, OsipText::Copy(host));
    osip_uri_set_port(uri, OsipText::Copy(std::to_string(port == 0 ? DefaultPort : port)));
    osip_from_set_url(nameAddr, uri);
    if (!displayName.empty())
        osip_from_set_displayname(nameAddr, OsipText::Copy(displayName));
    char* printed = nullptr;
    osip_from_to_str(nameAddr, &printed);
    osip_from_free(nameAddr);
    return OsipText::Take(printed);
}

std::string EnsureSipScheme(const std::string& text)
{
    if (ToUpper(text.substr(0, 4)) != "SIP:")
        return "sip:" + text;
    return text;
}

std::string NormaliseRequestUri(const std::string& text)
{
    std::string input = text;
    std::size_t doubled = ToLower(input).find("sip:sip:");
    if (doubled != std::string::npos)
        input.erase(doubled, 4);
    SipAddress address;
    if (!SplitUri(input, address) || address.host.empty())
        return {};
    std::string user = address.user.empty() ? std::string() : address.user + "@";
    std::string scheme = doubled == std::string::npos ? address.scheme : std::string("sip");
    std::string uri = address.port == DefaultPort
                          ? Format("%s:%s%s", scheme.c_str(), user.c_str(), address.host.c_str())
                          : Format("%s:%s%s:%d", scheme.c_str(), user.c_str(), address.host.c_str(), address.port);
    return doubled == std::string::npos ? uri : ReplaceAll(uri, "sip:", "sip:sip:");
}

std::string FormatTarget(const std::string& destination, const std::string& defaultFirstHop, std::string& firstHop)
{
    SipAddress address;
    SplitUriWithMaddr(destination, address);
    std::string port = address.port == DefaultPort ? std::string() : Format(":%d", address.port);
    std::string user = address.user.empty() ? std::string() : address.user + "@";
    firstHop = address.maddr.empty() ? defaultFirstHop : address.maddr;
    // A sips: address stays one: every hop to it must be secured.
    const char* scheme = ToLower(address.scheme) == "sips" ? "sips" : "sip";
    if (!address.displayName.empty())
        return Format("%s <%s:%s%s%s>", address.displayName.c_str(), scheme, user.c_str(), address.host.c_str(),
                      port.c_str());
    return Format("%s:%s%s%s", scheme, user.c_str(), address.host.c_str(), port.c_str());
}

std::string ContactUri(const std::string& contact)
{
    std::string uri;
    std::size_t open = contact.find('<');
    if (open != std::string::npos) {
        std::size_t close = contact.find('>', open);
        if (close == std::string::npos)
            return {};
        uri = contact.substr(open + 1, close - open - 1);
    } else {
        uri = contact.substr(0, contact.find(';'));
    }
    uri.erase(0, uri.find_first_not_of(" \t"));
    uri.erase(uri.find_last_not_of(" \t") + 1);
    std::string lower = ToLower(uri);
    if (lower.rfind("sip:", 0) != 0 && lower.rfind("sips:", 0) != 0)
        return {};
    return uri;
}

} // namespace SipUri
