#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

// The IPv4 addresses of host names looked up, each kept as long as its answer
// allows: its DNS time to live where known, otherwise DefaultSeconds, never longer
// than MaxSeconds. Names compare without regard to case. Pure: the caller gives the
// time, so the rules are tested without waiting.
class DnsCache {
public:
    static constexpr int DefaultSeconds = 60;
    static constexpr int MaxSeconds = 300;
    // Names held at most; a peer naming ever new hosts must not fill memory.
    static constexpr std::size_t MaxNames = 256;
    // `address` in network byte order; a negative time to live is one not known.
    void Store(const std::string& name, std::uint32_t address, int ttlSeconds, std::int64_t nowMs);
    // The address while it is fresh; an expired one is forgotten.
    std::optional<std::uint32_t> Find(const std::string& name, std::int64_t nowMs);
    void Forget(const std::string& name);
    std::size_t Size() const { return entries_.size(); }

private:
    struct Entry {
        std::uint32_t address;
        std::int64_t expiresMs;
    };

    static std::string Key(const std::string& name);
    void DropExpired(std::int64_t nowMs);

    std::map<std::string, Entry> entries_;
};
