#include "platform/UdpSocket.h"

#include "platform/NetworkConfinement.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

bool ResolveIpv4(const std::string& host, in_addr& address)
{
    if (inet_pton(AF_INET, host.c_str(), &address) == 1)
        return true;
    if (NetworkConfinement::IsConfined())
        return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

} // namespace

std::string UdpSocket::DottedAddress(std::uint32_t address)
{
    in_addr value{};
    value.s_addr = address;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &value, text, sizeof text);
    return text;
}

UdpSocket::~UdpSocket()
{
    Close();
}

bool UdpSocket::Open(const std::string& bindIp, int port)
{
    Close();
    sockaddr_in local;
    if (!NetworkConfinement::BindAddress(bindIp, port, local))
        return false;
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return false;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        Close();
        return false;
    }
    return true;
}

void UdpSocket::Close()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

int UdpSocket::LocalPort() const
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (fd_ < 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return -1;
    return ntohs(local.sin_port);
}

bool UdpSocket::StampArrivals()
{
    const int on = 1;
    return fd_ >= 0 && setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) == 0;
}

UdpSocket::Datagram UdpSocket::Receive(char* buffer, std::size_t size)
{
    Datagram datagram;
    if (fd_ < 0)
        return datagram;
    sockaddr_in source{};
    iovec io{buffer, size};
    msghdr header{};
    header.msg_name = &source;
    header.msg_namelen = sizeof source;
    header.msg_iov = &io;
    header.msg_iovlen = 1;
    ssize_t length = recvmsg(fd_, &header, 0);
    if (length < 0)
        return datagram;
    char ip[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &source.sin_addr, ip, sizeof ip);
    datagram.length = static_cast<int>(length);
    datagram.truncated = (header.msg_flags & MSG_TRUNC) != 0;
    datagram.sourceIp = ip;
    datagram.sourcePort = ntohs(source.sin_port);
    return datagram;
}

bool UdpSocket::SendTo(const std::string& data, const std::string& host, int port)
{
    return SendTo({reinterpret_cast<const std::uint8_t*>(data.data()), data.size()}, host, port);
}

bool UdpSocket::SendTo(std::span<const std::uint8_t> data, const std::string& host, int port)
{
    Endpoint destination;
    return ResolveEndpoint(host, port, destination) && SendTo(data, destination);
}

bool UdpSocket::ResolveEndpoint(const std::string& host, int port, Endpoint& endpoint)
{
    in_addr address{};
    return port > 0 && port <= 65535 && ResolveIpv4(host, address) && EndpointOf(address.s_addr, port, endpoint);
}

int UdpSocket::PortOf(const Endpoint& endpoint)
{
    return ntohs(endpoint.port);
}

bool UdpSocket::ParseEndpoint(const std::string& dotted, int port, Endpoint& endpoint)
{
    in_addr address{};
    return inet_pton(AF_INET, dotted.c_str(), &address) == 1 && EndpointOf(address.s_addr, port, endpoint);
}

bool UdpSocket::EndpointOf(std::uint32_t address, int port, Endpoint& endpoint)
{
    if (port <= 0 || port > 65535)
        return false;
    endpoint.address = address;
    endpoint.port = htons(static_cast<std::uint16_t>(port));
    return true;
}

bool UdpSocket::SendTo(std::span<const std::uint8_t> data, const Endpoint& destination)
{
    return SendDatagram(data, destination) == SendOutcome::Sent;
}

UdpSocket::SendOutcome UdpSocket::SendDatagram(std::span<const std::uint8_t> data, const Endpoint& destination)
{
    if (fd_ < 0 || !NetworkConfinement::MaySendTo(destination.address))
        return SendOutcome::Refused;
    if (NetworkConfinement::DropsTraffic())
        return SendOutcome::Sent;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = destination.port;
    address.sin_addr.s_addr = destination.address;
    ssize_t sent = sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
    if (sent == static_cast<ssize_t>(data.size()))
        return SendOutcome::Sent;
    return sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS || errno == EINTR)
               ? SendOutcome::Busy
               : SendOutcome::Refused;
}
