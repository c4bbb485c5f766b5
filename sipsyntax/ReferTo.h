#pragma once

#include <string>

// A peer's Refer-To value read for a transfer this user agent is asked to carry out
// (RFC 3515): the sip: URI to call and the Replaces text it may carry as a URI header
// (RFC 3891), unescaped. Pure text rules, no I/O.
class ReferTo {
public:
    enum class Verdict {
        Follow,    // a sip: URI to call
        Malformed, // no URI to read (answered 400)
        Refused,   // another scheme, another method, or headers other than Replaces (403)
    };

    static Verdict Parse(const std::string& value, ReferTo& target);

    const std::string& Uri() const { return uri_; }
    const std::string& Replaces() const { return replaces_; }

private:
    Verdict ReadHeaders(const std::string& headers);
    static bool AsksOtherMethod(const std::string& uri);
    // %XX escapes decoded; false for a broken escape.
    static bool Unescape(const std::string& text, std::string& plain);

    std::string uri_;
    std::string replaces_;
};
