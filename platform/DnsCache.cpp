#include "platform/DnsCache.h"

#include <algorithm>
#include <cctype>

std::string DnsCache::Key(const std::string& name)
{
    std::string key = name;
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
    if (!key.empty() && key.back() == '.')
        key.pop_back();
    return key;
}

void DnsCache::Store(const std::string& name, std::uint32_t address, int ttlSeconds, std::int64_t nowMs)
{
    const int seconds = ttlSeconds < 0 ? DefaultSeconds : std::min(ttlSeconds, MaxSeconds);
    if (seconds == 0) {
        Forget(name);
        return;
    }
    if (entries_.size() >= MaxNames)
        DropExpired(nowMs);
    const std::string key = Key(name);
    if (entries_.size() >= MaxNames && entries_.count(key) == 0)
        return;
    entries_[key] = {address, nowMs + static_cast<std::int64_t>(seconds) * 1000};
}

std::optional<std::uint32_t> DnsCache::Find(const std::string& name, std::int64_t nowMs)
{
    auto found = entries_.find(Key(name));
    if (found == entries_.end())
        return std::nullopt;
    if (found->second.expiresMs <= nowMs) {
        entries_.erase(found);
        return std::nullopt;
    }
    return found->second.address;
}

void DnsCache::Forget(const std::string& name)
{
    entries_.erase(Key(name));
}

void DnsCache::DropExpired(std::int64_t nowMs)
{
    std::erase_if(entries_, [nowMs](const auto& entry) { return entry.second.expiresMs <= nowMs; });
}
