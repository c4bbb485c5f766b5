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
