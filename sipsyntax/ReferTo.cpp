#include "sipsyntax/ReferTo.h"

#include "sipsyntax/SipUri.h"

#include <cctype>

namespace {

// The URI of a name-addr (between the angle brackets) or of a bare addr-spec (before
// its header parameters).
std::string AddressOf(const std::string& value)
{
    std::size_t open = value.find('<');
    if (open == std::string::npos)
        return SipUri::Trim(value.substr(0, value.find(';')));
    std::size_t close = value.rfind('>');
    return close == std::string::npos || close < open ? std::string() : value.substr(open + 1, close - open - 1);
}

int HexValue(char c)
{
    if (std::isdigit(static_cast<unsigned char>(c)) != 0)
        return c - '0';
    char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

} // namespace

bool ReferTo::Unescape(const std::string& text, std::string& plain)
{
    plain.clear();
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '%') {
            plain += text[at];
            continue;
        }
        if (at + 2 >= text.size())
            return false;
        int high = HexValue(text[at + 1]);
        int low = HexValue(text[at + 2]);
        if (high < 0 || low < 0)
            return false;
        plain += static_cast<char>(high * 16 + low);
        at += 2;
    }
    return true;
}

bool ReferTo::AsksOtherMethod(const std::string& uri)
{
    const std::string lower = SipUri::ToLower(uri);
    std::size_t at = lower.find(";method=");
    if (at == std::string::npos)
        return false;
    std::string method = lower.substr(at + 8);
    return method.substr(0, method.find(';')) != "invite";
}

ReferTo::Verdict ReferTo::ReadHeaders(const std::string& headers)
{
    std::size_t start = 0;
    while (start <= headers.size()) {
        std::size_t end = headers.find('&', start);
        std::string header = headers.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::size_t equals = header.find('=');
        if (equals == std::string::npos || SipUri::ToLower(header.substr(0, equals)) != "replaces")
            return Verdict::Refused;
        if (!replaces_.empty() || !Unescape(header.substr(equals + 1), replaces_) || replaces_.empty())
            return Verdict::Malformed;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return Verdict::Follow;
}

ReferTo::Verdict ReferTo::Parse(const std::string& value, ReferTo& target)
{
    target = ReferTo();
    const std::string address = SipUri::Trim(AddressOf(value));
    std::size_t colon = address.find(':');
    if (address.empty() || colon == std::string::npos)
        return Verdict::Malformed;
    if (SipUri::ToLower(address.substr(0, colon)) != "sip")
        return Verdict::Refused;
    std::size_t question = address.find('?');
    std::string uri = address.substr(0, question);
    SipAddress split;
    if (!SipUri::SplitUri(uri, split) || split.host.empty())
        return Verdict::Malformed;
    if (AsksOtherMethod(uri))
        return Verdict::Refused;
    if (question != std::string::npos) {
        Verdict headers = target.ReadHeaders(address.substr(question + 1));
        if (headers != Verdict::Follow)
            return headers;
    }
    target.uri_ = uri;
    return Verdict::Follow;
}
