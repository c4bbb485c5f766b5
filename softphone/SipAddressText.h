#pragma once

#include <optional>
#include <string>
#include <string_view>

// The RFC 3261 text rules trn needs to put what a user typed into SIP: a display name
// as a quoted-string, and the URI a dialled text or transfer target stands for. Pure
// text in and out.
class SipAddressText {
public:
    // The name between double quotes, `"` and `\` escaped, control characters dropped;
    // any UTF-8 letter stays as it is.
    static std::string QuotedDisplayName(std::string_view name);
    // What to call for a dialled text: a text that is a SIP URI already ("sip:",
    // "sips:", or holding "@") is called as that URI ("sip:" put in front when it has
    // no scheme), and nothing when it does not parse as one; any other text is the user
    // part of the user's URI on the proxy (UserUri), escaped as RFC 3261 user characters.
    static std::optional<std::string> DialUri(std::string_view text, std::string_view proxy);
    // "sip:user@proxy"; a proxy given as a URI lends it its scheme ("sips:pbx.example.com"
    // gives "sips:user@pbx.example.com"), so that its users are addressed over TLS too.
    static std::string UserUri(std::string_view user, std::string_view proxy);
    // Whether the text is a SIP or SIPS URI by RFC 3261's grammar.
    static bool IsSipUri(std::string_view text);
    // Every character that may not stand in a user part as %XX.
    static std::string EscapeUser(std::string_view user);
};
