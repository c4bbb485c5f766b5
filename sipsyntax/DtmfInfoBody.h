#pragma once

#include <string>

// The digit a SIP INFO request of a peer carries: application/dtmf-relay
// ("Signal=5" and "Duration=160" lines) or application/dtmf (the digit alone). Pure
// text rules, no I/O.
class DtmfInfoBody {
public:
    // Whether the content type (its parameters ignored) is one of the two DTMF bodies.
    static bool IsDtmfType(const std::string& contentType);
    // "0".."9", "*", "#" or "A".."D"; empty when the body names no digit. Event codes
    // 10..15 name "*", "#" and "A".."D", as this user agent's own INFO sends them.
    static std::string Digit(const std::string& contentType, const std::string& body);

private:
    static std::string MediaType(const std::string& contentType);
    static std::string DigitOfSignal(const std::string& value);
    static std::string SignalValue(const std::string& body);
};
