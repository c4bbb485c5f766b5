#pragma once

#include <string>

// How a SIP message travels. Unspecified: the address names no transport, so the
// user agent picks one (UDP, or what the domain's DNS records offer).
enum class SipTransportKind { Unspecified, Udp, Tcp, Tls };

// The pieces of a SIP address as the user agent uses them. The port is 5060 when the
// address gives none (or gives an empty or zero port).
struct SipAddress {
    std::string scheme;
    std::string user;
    std::string host;
    int port = 5060;
    std::string displayName; // as written, double quotes included
    std::string maddr;
    // Whether the text named the port; a domain without one is located by DNS SRV.
    bool portGiven = false;
    // TLS for a sips: URI or ";transport=tls", TCP for ";transport=tcp", UDP for
    // ";transport=udp", Unspecified otherwise.
    SipTransportKind transport = SipTransportKind::Unspecified;
};

// Conversions between loose address text (a bare number, user@host, a full URI, a
// quoted display name with a URI in angle brackets) and the address strings the user
// agent writes. Stateless.
namespace SipUri {

constexpr int DefaultPort = 5060;

// "sip:" is put in front when the text mentions neither "sip:" nor "sips:".
bool SplitUri(const std::string& text, SipAddress& address);
// As SplitUri, plus the maddr value and the user without its parameters.
bool SplitUriWithMaddr(const std::string& text, SipAddress& address);
std::string BuildNameAddr(const std::string& host, int port, const std::string& user, const std::string& scheme,
                          const std::string& displayName);
std::string EnsureSipScheme(const std::string& text);
// The request URI written for an address: scheme, user, host and a port other than
// 5060; parameters, headers and password dropped. Empty when the text cannot be split.
std::string NormaliseRequestUri(const std::string& text);
// The address a call or transfer is sent to, and the host of its first hop (the
// maddr of the address, else defaultFirstHop).
std::string FormatTarget(const std::string& destination, const std::string& defaultFirstHop, std::string& firstHop);
// The URI of a Contact value, with its URI parameters and without the header's own
// parameters; empty when the value holds no SIP URI.
std::string ContactUri(const std::string& contact);

// "UDP", "TCP" or "TLS" as Via headers write them; "UDP" for Unspecified.
const char* TransportName(SipTransportKind transport);
// The port a transport uses when none is given: 5061 for TLS, else 5060.
int DefaultPortOf(SipTransportKind transport);

std::string ToLower(std::string text);
std::string ToUpper(std::string text);
// The text without blanks, tabs and line ends around it.
std::string Trim(const std::string& text);
// Replaces every occurrence of `from` in `text`.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);

} // namespace SipUri
