#pragma once

#include "platform/DatagramBatch.h"
#include "platform/NetworkEndpoint.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// A non-blocking IPv4 UDP socket.
class UdpSocket {
public:
    struct Datagram {
        int length = -1;        // bytes read; -1 when nothing could be read
        bool truncated = false; // larger than the buffer: the rest was lost
        std::string sourceIp;
        int sourcePort = 0;
    };

    using Endpoint = NetworkEndpoint;

    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // bindIp empty binds every address (loopback only under NetworkConfinement);
    // otherwise it must be a dotted IPv4 address.
    bool Open(const std::string& bindIp, int port);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    int LocalPort() const;
    // The kernel stamps each datagram with the time it arrived (DatagramBatch reads
    // it), so that a batch read late still tells when each one came.
    bool StampArrivals();

    Datagram Receive(char* buffer, std::size_t size);
    // Reads up to `limit` waiting datagrams into `batch` with one system call;
    // returns how many (0 when none).
    int ReceiveBatch(DatagramBatch& batch, std::size_t limit) { return batch.ReadFrom(fd_, limit); }
    // host is a dotted address or a name resolved on the spot; false when it cannot
    // be resolved, NetworkConfinement forbids the destination or the socket refuses
    // the datagram.
    bool SendTo(const std::string& data, const std::string& host, int port);
    bool SendTo(std::span<const std::uint8_t> data, const std::string& host, int port);
    bool SendTo(std::span<const std::uint8_t> data, const Endpoint& destination);
    // How a datagram fared: the system took it, refused it for now (its buffer is
    // full: a later try may pass), or refused it for good (too large, unreachable,
    // forbidden by NetworkConfinement, no socket).
    enum class SendOutcome { Sent, Busy, Refused };
    SendOutcome SendDatagram(std::span<const std::uint8_t> data, const Endpoint& destination);
    // Where SendTo(data, host, port) sends; false when the host cannot be resolved or
    // the port is out of range. NetworkConfinement is checked when sending.
    static bool ResolveEndpoint(const std::string& host, int port, Endpoint& endpoint);
    // An address (network byte order) and port; false when the port is out of range.
    static bool EndpointOf(std::uint32_t address, int port, Endpoint& endpoint);
    // The dotted text of an IPv4 address in network byte order.
    static std::string DottedAddress(std::uint32_t address);
    // The port of an endpoint as a number.
    static int PortOf(const Endpoint& endpoint);
    // The endpoint of a dotted IPv4 address and a port; false for anything else.
    static bool ParseEndpoint(const std::string& dotted, int port, Endpoint& endpoint);

private:
    int fd_ = -1;
};
