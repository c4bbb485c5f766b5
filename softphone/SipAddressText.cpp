#include "softphone/SipAddressText.h"

namespace {

bool Is(char c, std::string_view set)
{
    return set.find(c) != std::string_view::npos;
}

// ASCII only, whatever the locale says of other bytes.
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsHex(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsAlphanumeric(char c)
{
    return IsDigit(c) || IsAlpha(c);
}

bool IsUnreserved(char c)
{
    return IsAlphanumeric(c) || Is(c, "-_.!~*'()");
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char c = IsAlpha(text[i]) ? static_cast<char>(text[i] | 0x20) : text[i];
        if (c != prefix[i])
            return false;
    }
    return true;
}

// Every character is unreserved, one of `extra`, or a %XX escape; and there is one at least.
bool IsEscapedRun(std::string_view text, std::string_view extra, bool mayBeEmpty = false)
{
    if (text.empty())
        return mayBeEmpty;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            if (i + 2 >= text.size() || !IsHex(text[i + 1]) || !IsHex(text[i + 2]))
                return false;
            i += 2;
        } else if (!IsUnreserved(text[i]) && !Is(text[i], extra)) {
            return false;
        }
    }
    return true;
}

bool IsLabel(std::string_view label, bool top)
{
    if (label.empty() || !IsAlphanumeric(label.front()) || !IsAlphanumeric(label.back()))
        return false;
    if (top && !IsAlpha(label.front()))
        return false;
    for (const char c : label) {
        if (!IsAlphanumeric(c) && c != '-')
            return false;
    }
    return true;
}

bool IsIpv4(std::string_view host)
{
    int parts = 0;
    while (true) {
        const std::size_t dot = host.find('.');
        const std::string_view part = host.substr(0, dot);
        if (part.empty() || part.size() > 3)
            return false;
        int value = 0;
        for (const char c : part) {
            if (!IsDigit(c))
                return false;
            value = value * 10 + (c - '0');
        }
        if (value > 255 || ++parts > 4)
            return false;
        if (dot == std::string_view::npos)
            return parts == 4;
        host.remove_prefix(dot + 1);
    }
}

bool IsHostname(std::string_view host)
{
    if (!host.empty() && host.back() == '.')
        host.remove_suffix(1);
    while (true) {
        const std::size_t dot = host.find('.');
        if (dot == std::string_view::npos)
            return IsLabel(host, true);
        if (!IsLabel(host.substr(0, dot), false))
            return false;
        host.remove_prefix(dot + 1);
    }
}

bool IsIpv6Reference(std::string_view host)
{
    if (host.size() < 4 || host.front() != '[' || host.back() != ']')
        return false;
    for (const char c : host.substr(1, host.size() - 2)) {
        if (!IsHex(c) && c != ':' && c != '.')
            return false;
    }
    return host.find(':') != std::string_view::npos;
}

bool IsHostPort(std::string_view hostPort)
{
    const std::size_t bracket = hostPort.rfind(']');
    const std::size_t colon = hostPort.rfind(':');
    std::string_view host = hostPort;
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        const std::string_view port = hostPort.substr(colon + 1);
        if (port.empty() || port.size() > 5)
            return false;
        for (const char c : port) {
            if (!IsDigit(c))
                return false;
        }
        host = hostPort.substr(0, colon);
    }
    return IsIpv4(host) || IsIpv6Reference(host) || IsHostname(host);
}

bool AreParameters(std::string_view parameters)
{
    while (!parameters.empty()) {
        if (parameters.front() != ';')
            return false;
        parameters.remove_prefix(1);
        const std::size_t next = parameters.find(';');
        const std::string_view parameter = parameters.substr(0, next);
        const std::size_t equals = parameter.find('=');
        constexpr std::string_view kParamUnreserved = "[]/:&+$";
        if (!IsEscapedRun(parameter.substr(0, equals), kParamUnreserved) ||
            (equals != std::string_view::npos && !IsEscapedRun(parameter.substr(equals + 1), kParamUnreserved)))
            return false;
        parameters.remove_prefix(next == std::string_view::npos ? parameters.size() : next);
    }
    return true;
}

bool AreHeaders(std::string_view headers)
{
    constexpr std::string_view kHeaderUnreserved = "[]/?:+$";
    while (true) {
        const std::size_t next = headers.find('&');
        const std::string_view header = headers.substr(0, next);
        const std::size_t equals = header.find('=');
        if (equals == std::string_view::npos || !IsEscapedRun(header.substr(0, equals), kHeaderUnreserved) ||
            !IsEscapedRun(header.substr(equals + 1), kHeaderUnreserved, true))
            return false;
        if (next == std::string_view::npos)
            return true;
        headers.remove_prefix(next + 1);
    }
}

bool IsUserInfo(std::string_view userInfo)
{
    const std::size_t colon = userInfo.find(':');
    return IsEscapedRun(userInfo.substr(0, colon), "&=+$,;?/") &&
           (colon == std::string_view::npos || IsEscapedRun(userInfo.substr(colon + 1), "&=+$,", true));
}

char HexDigit(int value)
{
    return "0123456789ABCDEF"[value & 0xF];
}

} // namespace

std::string SipAddressText::QuotedDisplayName(std::string_view name)
{
    std::string quoted = "\"";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            continue;
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

bool SipAddressText::IsSipUri(std::string_view text)
{
    const std::size_t schemeLength = StartsWithNoCase(text, "sip:") ? 4 : StartsWithNoCase(text, "sips:") ? 5 : 0;
    if (schemeLength == 0)
        return false;
    std::string_view rest = text.substr(schemeLength);
    const std::size_t at = rest.rfind('@');
    if (at != std::string_view::npos) {
        if (!IsUserInfo(rest.substr(0, at)))
            return false;
        rest.remove_prefix(at + 1);
    }
    const std::size_t question = rest.find('?');
    if (question != std::string_view::npos && !AreHeaders(rest.substr(question + 1)))
        return false;
    rest = rest.substr(0, question);
    const std::size_t semicolon = rest.find(';');
    return IsHostPort(rest.substr(0, semicolon)) &&
           (semicolon == std::string_view::npos || AreParameters(rest.substr(semicolon)));
}

std::string SipAddressText::EscapeUser(std::string_view user)
{
    std::string escaped;
    for (const char c : user) {
        if (IsUnreserved(c) || Is(c, "&=+$,;?/")) {
            escaped += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        escaped += '%';
        escaped += HexDigit(byte >> 4);
        escaped += HexDigit(byte);
    }
    return escaped;
}

std::optional<std::string> SipAddressText::DialUri(std::string_view text, std::string_view proxy)
{
    const bool hasScheme = StartsWithNoCase(text, "sip:") || StartsWithNoCase(text, "sips:");
    if (!hasScheme && text.find('@') == std::string_view::npos)
        return UserUri(EscapeUser(text), proxy);
    const std::string uri = hasScheme ? std::string(text) : "sip:" + std::string(text);
    if (!IsSipUri(uri))
        return std::nullopt;
    return uri;
}

std::string SipAddressText::UserUri(std::string_view user, std::string_view proxy)
{
    std::string_view scheme = "sip:";
    if (StartsWithNoCase(proxy, "sips:"))
        scheme = "sips:";
    if (StartsWithNoCase(proxy, scheme))
        proxy.remove_prefix(scheme.size());
    return std::string(scheme) + std::string(user) + "@" + std::string(proxy);
}
