#include "sipsyntax/DtmfInfoBody.h"

#include "sipsyntax/SipUri.h"

namespace {

constexpr const char* DtmfRelay = "application/dtmf-relay";
constexpr const char* Dtmf = "application/dtmf";

} // namespace

std::string DtmfInfoBody::MediaType(const std::string& contentType)
{
    return SipUri::ToLower(SipUri::Trim(contentType.substr(0, contentType.find(';'))));
}

bool DtmfInfoBody::IsDtmfType(const std::string& contentType)
{
    const std::string type = MediaType(contentType);
    return type == DtmfRelay || type == Dtmf;
}

std::string DtmfInfoBody::DigitOfSignal(const std::string& value)
{
    static const std::string Symbols = "0123456789*#ABCD";
    const std::string signal = SipUri::ToUpper(SipUri::Trim(value));
    if (signal.size() == 1 && Symbols.find(signal[0]) != std::string::npos)
        return signal;
    if (signal.size() == 2 && signal[0] == '1' && signal[1] >= '0' && signal[1] <= '5')
        return std::string(1, Symbols[static_cast<std::size_t>(10 + signal[1] - '0')]);
    return {};
}

// The value of the body's Signal line; lines may end in CR, LF or both, in any order.
std::string DtmfInfoBody::SignalValue(const std::string& body)
{
    std::size_t start = 0;
    while (start < body.size()) {
        std::size_t end = body.find_first_of("\r\n", start);
        std::string line = body.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::size_t equals = line.find('=');
        if (equals != std::string::npos && SipUri::ToLower(SipUri::Trim(line.substr(0, equals))) == "signal")
            return line.substr(equals + 1);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return {};
}

std::string DtmfInfoBody::Digit(const std::string& contentType, const std::string& body)
{
    const std::string type = MediaType(contentType);
    if (type == DtmfRelay)
        return DigitOfSignal(SignalValue(body));
    if (type == Dtmf)
        return DigitOfSignal(body);
    return {};
}
