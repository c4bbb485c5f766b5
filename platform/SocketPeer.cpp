#include "platform/SocketPeer.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// /proc/net/tcp prints each 32-bit word of an address as the integer it is in memory,
// so the word's bytes in this machine's order are the address's bytes in network order.
bool ParseAddress(std::string_view hex, bool ipv6, SocketPeer::Endpoint& endpoint)
{
    const std::size_t colon = hex.find(':');
    const std::size_t words = ipv6 ? 4 : 1;
    if (colon != words * 8 || hex.size() != colon + 5)
        return false;
    std::array<unsigned char, 16> bytes{};
    if (!ipv6)
        bytes[10] = bytes[11] = 0xFF;
    for (std::size_t word = 0; word < words; ++word) {
        const std::uint32_t value = static_cast<std::uint32_t>(std::stoul(std::string(hex.substr(word * 8, 8)), nullptr, 16));
        std::memcpy(bytes.data() + (ipv6 ? word * 4 : 12), &value, 4);
    }
    endpoint.address = bytes;
    endpoint.port = static_cast<unsigned>(std::stoul(std::string(hex.substr(colon + 1)), nullptr, 16));
    return true;
}

bool Same(const SocketPeer::Endpoint& a, const SocketPeer::Endpoint& b)
{
    return a.address == b.address && a.port == b.port;
}

std::string ReadTable(const char* path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> Fields(const std::string& line)
{
    std::istringstream words(line);
    std::vector<std::string> fields;
    for (std::string word; words >> word;)
        fields.push_back(word);
    return fields;
}

} // namespace

std::optional<unsigned> SocketPeer::FindTcpOwner(std::string_view table, bool ipv6, const Endpoint& peer,
                                                 const Endpoint& server)
{
    constexpr std::size_t kLocal = 1, kRemote = 2, kUid = 7, kInode = 9;
    std::istringstream lines{std::string(table)};
    for (std::string line; std::getline(lines, line);) {
        const std::vector<std::string> fields = Fields(line);
        Endpoint local, remote;
        try {
            if (fields.size() <= kInode || !ParseAddress(fields[kLocal], ipv6, local) ||
                !ParseAddress(fields[kRemote], ipv6, remote))
                continue;
            // A socket already closed lingers without its owner (uid 0, inode 0): it is nobody's.
            if (!Same(local, peer) || !Same(remote, server) || fields[kInode] == "0")
                continue;
            return static_cast<unsigned>(std::stoul(fields[kUid]));
        } catch (const std::exception&) {
            continue;
        }
    }
    return std::nullopt;
}

std::optional<unsigned> SocketPeer::TcpPeerUid(const Endpoint& peer, const Endpoint& server)
{
    if (auto owner = FindTcpOwner(ReadTable("/proc/net/tcp"), false, peer, server))
        return owner;
    return FindTcpOwner(ReadTable("/proc/net/tcp6"), true, peer, server);
}

std::optional<unsigned> SocketPeer::UnixPeerUid(int fd)
{
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 || length != sizeof credentials)
        return std::nullopt;
    return credentials.uid;
}

unsigned SocketPeer::OwnUid()
{
    return geteuid();
}
