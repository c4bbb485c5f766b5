#include "sipsyntax/LocalAddress.h"

#include "platform/NetworkConfinement.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace {

void AddUnique(std::vector<std::string>& addresses, const in_addr& address)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    if (std::find(addresses.begin(), addresses.end(), text) == addresses.end())
        addresses.emplace_back(text);
}

void AddInterfaceAddresses(std::vector<std::string>& addresses)
{
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0)
        return;
    for (ifaddrs* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
        bool usable = entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET &&
                      (entry->ifa_flags & IFF_UP) != 0 && (entry->ifa_flags & IFF_LOOPBACK) == 0;
        if (usable)
            AddUnique(addresses, reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr);
    }
    freeifaddrs(interfaces);
}

void AddHostNameAddresses(std::vector<std::string>& addresses)
{
    char name[128] = {};
    // A confined process looks up no name, not even its own.
    if (NetworkConfinement::IsConfined() || gethostname(name, sizeof name - 1) != 0)
        return;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0)
        return;
    for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next)
        AddUnique(addresses, reinterpret_cast<sockaddr_in*>(entry->ai_addr)->sin_addr);
    freeaddrinfo(found);
}

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

bool IsPrivate(const std::string& a)
{
    return StartsWith(a, "192.") || StartsWith(a, "172.") || StartsWith(a, "10.");
}

bool IsPublic(const std::string& a)
{
    return !IsPrivate(a) && !StartsWith(a, "127.") && !StartsWith(a, "169.");
}

bool IsLinkLocal(const std::string& a)
{
    return StartsWith(a, "169.");
}

} // namespace

std::vector<std::string> LocalAddress::ListLocalAddresses()
{
    std::vector<std::string> addresses;
    AddInterfaceAddresses(addresses);
    AddHostNameAddresses(addresses);
    return addresses;
}

std::string LocalAddress::SelectLocalAddress(const std::vector<std::string>& addresses)
{
    if (addresses.empty())
        return "127.0.0.1";
    using Preference = bool (*)(const std::string&);
    for (Preference qualifies : {IsPublic, IsPrivate, IsLinkLocal}) {
        for (const std::string& address : addresses) {
            if (address.empty())
                break;
            if (qualifies(address))
                return address;
        }
    }
    return addresses.front();
}

std::string LocalAddress::SelectLocalAddress()
{
    const char* chosen = std::getenv("ORVSIP_LOCAL_ADDRESS");
    in_addr parsed{};
    if (chosen != nullptr && inet_pton(AF_INET, chosen, &parsed) == 1)
        return chosen;
    return SelectLocalAddress(ListLocalAddresses());
}
