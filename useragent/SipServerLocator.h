#pragma once

#include "platform/DnsResolver.h"
#include "useragent/SipDestination.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

// Where the messages for a destination go (RFC 3263): a dotted address or a host with
// a port is itself the one target; a domain without a port is located by its DNS
// records: NAPTR, then SRV (_sips._tcp, _sip._tcp, _sip._udp, or only the service of
// the transport its URI names), each server in the order of its priority and weight;
// a domain without such records is its own server on the transport's default port.
// Once a transport is found, only its servers are tried: a domain offering TLS is
// never reached in clear because its TLS servers failed. When no DNS server answers,
// the domain has no target at all (and nothing is kept).
//
// What was located is kept for the records' time to live (DnsCache's rules), with the
// server to start at, which moves on when one fails.
class SipServerLocator {
public:
    struct Target {
        SipTransportKind transport = SipTransportKind::Udp;
        std::string host;
        int port = 5060;
    };
    using Targets = std::vector<Target>;
    using Done = std::function<void(const Targets&)>;

    // Domains kept at most.
    static constexpr std::size_t MaxDomains = 256;

    explicit SipServerLocator(DnsResolver& resolver);

    // The targets to try, best first, when they are known at once; otherwise nothing,
    // and `done` gets them later from the loop.
    std::optional<Targets> Locate(const SipDestination& destination, Done done);
    // A target failed (refused, silent, 503): the destination's later messages start at
    // the next one, and after the last at the first again.
    void Demote(const SipDestination& destination, const Target& failed);
    // The destination's current server failed: later messages start at the next one.
    // False when there is no other, or the last was the one that failed.
    bool MoveOn(const SipDestination& destination);
    void Clear() { located_.clear(); }

    // Records of one service in the order to try them (RFC 2782): by priority, and
    // within one priority drawn by weight with `random`; none for the "." target.
    static Targets Order(std::vector<DnsResolver::ServiceRecord> records, SipTransportKind transport,
                         const std::function<std::uint32_t()>& random);
    // The SRV names a domain's NAPTR records point to, in their order, for the
    // services this side speaks (SIPS+D2T, SIP+D2T, SIP+D2U).
    static std::vector<std::pair<SipTransportKind, std::string>> ServicesOf(
        std::vector<DnsResolver::NaptrRecord> records);

private:
    struct Located {
        Targets targets;
        std::size_t first = 0;
        std::int64_t expiresMs = 0;
    };
    struct Search {
        std::string host;
        SipTransportKind transport;
        std::vector<std::pair<SipTransportKind, std::string>> services;
        std::size_t next = 0;
        int ttlSeconds = DnsResolver::UnknownTtl;
    };

    static std::string Key(const SipDestination& destination);
    void AskNaptr(const std::string& key);
    void AskNextService(const std::string& key);
    void Finish(const std::string& key, Targets targets, int ttlSeconds);
    void ShortenTtl(Search& search, int ttlSeconds);

    DnsResolver& resolver_;
    std::minstd_rand random_;
    std::map<std::string, Located> located_;
    std::map<std::string, Search> searches_;
    std::map<std::string, std::vector<Done>> waiting_;
};
