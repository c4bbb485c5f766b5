#pragma once

#include <string>

// A Replaces value (RFC 3891): the dialog an INVITE replaces, named by its Call-ID
// and its two tags as the receiver sees them (to-tag: the receiver's own tag), and
// whether only an early dialog may be replaced. Pure text rules, no I/O.
class ReplacesHeader {
public:
    // false unless the value has a Call-ID and exactly one to-tag and one from-tag.
    static bool Parse(const std::string& value, ReplacesHeader& replaces);

    std::string callId;
    std::string toTag;
    std::string fromTag;
    bool earlyOnly = false;
};
