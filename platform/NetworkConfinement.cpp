#include "platform/NetworkConfinement.h"

#include <arpa/inet.h>

#include <atomic>

namespace {

// Read by the media clock thread too.
std::atomic<NetworkConfinement::Level> level{NetworkConfinement::Level::Unconfined};

} // namespace

void NetworkConfinement::Set(Level newLevel)
{
    level = newLevel;
}

NetworkConfinement::Level NetworkConfinement::Current()
{
    return level;
}

bool NetworkConfinement::MaySendTo(std::uint32_t networkOrderAddress)
{
    constexpr std::uint32_t LoopbackNet = 0x7F000000;
    return !IsConfined() || (ntohl(networkOrderAddress) & 0xFF000000) == LoopbackNet;
}

bool NetworkConfinement::BindAddress(const std::string& bindIp, int port, sockaddr_in& local)
{
    local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    local.sin_addr.s_addr = htonl(IsConfined() ? INADDR_LOOPBACK : INADDR_ANY);
    return port >= 0 && port <= 65535 && (bindIp.empty() || inet_pton(AF_INET, bindIp.c_str(), &local.sin_addr) == 1);
}
