#include "useragent/SipServerLocator.h"

#include "platform/Clock.h"
#include "platform/DnsCache.h"

#include <algorithm>
#include <arpa/inet.h>
#include <numeric>

namespace {

bool IsDottedAddress(const std::string& host)
{
    in_addr address{};
    return inet_pton(AF_INET, host.c_str(), &address) == 1;
}

// The transport a destination takes when DNS names none: the URI's, else UDP.
SipTransportKind Chosen(SipTransportKind transport)
{
    return transport == SipTransportKind::Unspecified ? SipTransportKind::Udp : transport;
}

std::string ServiceName(SipTransportKind transport, const std::string& host)
{
    switch (transport) {
    case SipTransportKind::Tls:
        return "_sips._tcp." + host;
    case SipTransportKind::Tcp:
        return "_sip._tcp." + host;
    default:
        return "_sip._udp." + host;
    }
}

std::int64_t ExpiryMs(int ttlSeconds)
{
    const int seconds = ttlSeconds < 0 ? DnsCache::DefaultSeconds : std::min(ttlSeconds, DnsCache::MaxSeconds);
    return Clock::MonotonicMs() + static_cast<std::int64_t>(seconds) * 1000;
}

} // namespace

SipServerLocator::SipServerLocator(DnsResolver& resolver) : resolver_(resolver), random_(std::random_device{}()) {}

std::string SipServerLocator::Key(const SipDestination& destination)
{
    return std::to_string(static_cast<int>(destination.transport)) + " " + SipUri::ToLower(destination.host);
}

std::optional<SipServerLocator::Targets> SipServerLocator::Locate(const SipDestination& destination, Done done)
{
    const SipTransportKind transport = Chosen(destination.transport);
    if (destination.port > 0 || IsDottedAddress(destination.host)) {
        const int port = destination.port > 0 ? destination.port : SipUri::DefaultPortOf(transport);
        return Targets{{transport, destination.host, port}};
    }
    const std::string key = Key(destination);
    auto found = located_.find(key);
    if (found != located_.end() && found->second.expiresMs > Clock::MonotonicMs()) {
        Targets ordered = found->second.targets;
        std::rotate(ordered.begin(), ordered.begin() + static_cast<long>(found->second.first), ordered.end());
        return ordered;
    }
    waiting_[key].push_back(std::move(done));
    if (searches_.count(key) != 0)
        return std::nullopt;
    Search& search = searches_[key] = {destination.host, destination.transport, {}, 0, DnsResolver::UnknownTtl};
    if (destination.transport == SipTransportKind::Unspecified) {
        AskNaptr(key);
    } else {
        search.services = {{destination.transport, ServiceName(destination.transport, destination.host)}};
        AskNextService(key);
    }
    return std::nullopt;
}

void SipServerLocator::ShortenTtl(Search& search, int ttlSeconds)
{
    if (ttlSeconds >= 0)
        search.ttlSeconds = search.ttlSeconds < 0 ? ttlSeconds : std::min(search.ttlSeconds, ttlSeconds);
}

void SipServerLocator::AskNaptr(const std::string& key)
{
    const std::string host = searches_[key].host;
    resolver_.LookupRecords(host, DnsResolver::RecordType::Naptr, [this, key](const DnsResolver::Records& records) {
        auto search = searches_.find(key);
        if (search == searches_.end())
            return;
        if (records.unanswered) {
            Finish(key, {}, 0);
            return;
        }
        search->second.services = ServicesOf(records.naptrs);
        if (search->second.services.empty()) {
            for (SipTransportKind transport : {SipTransportKind::Tls, SipTransportKind::Tcp, SipTransportKind::Udp})
                search->second.services.emplace_back(transport, ServiceName(transport, search->second.host));
        } else {
            ShortenTtl(search->second, records.ttlSeconds);
        }
        AskNextService(key);
    });
}

void SipServerLocator::AskNextService(const std::string& key)
{
    Search& search = searches_[key];
    if (search.next >= search.services.size()) {
        const SipTransportKind transport = Chosen(search.transport);
        Finish(key, {{transport, search.host, SipUri::DefaultPortOf(transport)}}, search.ttlSeconds);
        return;
    }
    const auto [transport, name] = search.services[search.next++];
    resolver_.LookupRecords(name, DnsResolver::RecordType::Srv,
                            [this, key, transport = transport](const DnsResolver::Records& records) {
                                auto search = searches_.find(key);
                                if (search == searches_.end())
                                    return;
                                if (records.unanswered) {
                                    Finish(key, {}, 0);
                                    return;
                                }
                                Targets targets = Order(records.services, transport, [this] { return random_(); });
                                if (targets.empty()) {
                                    AskNextService(key);
                                    return;
                                }
                                ShortenTtl(search->second, records.ttlSeconds);
                                Finish(key, std::move(targets), search->second.ttlSeconds);
                            });
}

void SipServerLocator::Finish(const std::string& key, Targets targets, int ttlSeconds)
{
    searches_.erase(key);
    if (located_.size() >= MaxDomains) {
        const std::int64_t now = Clock::MonotonicMs();
        std::erase_if(located_, [now](const auto& entry) { return entry.second.expiresMs <= now; });
    }
    if (!targets.empty() && (located_.size() < MaxDomains || located_.count(key) != 0))
        located_[key] = {targets, 0, ExpiryMs(ttlSeconds)};
    std::vector<Done> told;
    told.swap(waiting_[key]);
    waiting_.erase(key);
    for (Done& done : told)
        done(targets);
}

void SipServerLocator::Demote(const SipDestination& destination, const Target& failed)
{
    auto found = located_.find(Key(destination));
    if (found == located_.end())
        return;
    Located& entry = found->second;
    const Target& current = entry.targets[entry.first];
    if (current.host == failed.host && current.port == failed.port && current.transport == failed.transport)
        entry.first = (entry.first + 1) % entry.targets.size();
}

bool SipServerLocator::MoveOn(const SipDestination& destination)
{
    auto found = located_.find(Key(destination));
    if (found == located_.end() || found->second.targets.size() < 2)
        return false;
    Located& entry = found->second;
    entry.first = (entry.first + 1) % entry.targets.size();
    return entry.first != 0;
}

SipServerLocator::Targets SipServerLocator::Order(std::vector<DnsResolver::ServiceRecord> records,
                                                  SipTransportKind transport,
                                                  const std::function<std::uint32_t()>& random)
{
    std::erase_if(records, [](const DnsResolver::ServiceRecord& record) {
        return record.target.empty() || record.target == "." || record.port <= 0 || record.port > 65535;
    });
    std::stable_sort(records.begin(), records.end(), [](const auto& a, const auto& b) {
        return a.priority != b.priority ? a.priority < b.priority : (a.weight == 0 && b.weight != 0);
    });
    Targets ordered;
    for (auto group = records.begin(); group != records.end();) {
        auto end = std::find_if(group, records.end(), [&](const auto& r) { return r.priority != group->priority; });
        std::vector<DnsResolver::ServiceRecord> left(group, end);
        while (!left.empty()) {
            const std::uint64_t total = std::accumulate(left.begin(), left.end(), std::uint64_t{0},
                                                        [](std::uint64_t sum, const auto& r) { return sum + r.weight; });
            const std::uint64_t pick = total == 0 ? 0 : random() % (total + 1);
            std::uint64_t running = 0;
            auto chosen = std::find_if(left.begin(), left.end(), [&](const auto& r) {
                running += r.weight;
                return running >= pick;
            });
            ordered.push_back({transport, chosen->target, chosen->port});
            left.erase(chosen);
        }
        group = end;
    }
    return ordered;
}

std::vector<std::pair<SipTransportKind, std::string>> SipServerLocator::ServicesOf(
    std::vector<DnsResolver::NaptrRecord> records)
{
    std::stable_sort(records.begin(), records.end(), [](const auto& a, const auto& b) {
        return a.order != b.order ? a.order < b.order : a.preference < b.preference;
    });
    std::vector<std::pair<SipTransportKind, std::string>> services;
    for (const DnsResolver::NaptrRecord& record : records) {
        const std::string service = SipUri::ToUpper(record.service);
        const SipTransportKind transport = service == "SIPS+D2T"  ? SipTransportKind::Tls
                                           : service == "SIP+D2T" ? SipTransportKind::Tcp
                                           : service == "SIP+D2U" ? SipTransportKind::Udp
                                                                  : SipTransportKind::Unspecified;
        if (transport == SipTransportKind::Unspecified || SipUri::ToLower(record.flags) != "s" ||
            record.replacement.empty())
            continue;
        services.emplace_back(transport, record.replacement);
    }
    return services;
}
