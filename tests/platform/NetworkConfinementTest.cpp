#include "platform/NetworkConfinement.h"
#include "platform/UdpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>

namespace {

class NetworkConfinementTest : public ::testing::Test {
protected:
    void TearDown() override { NetworkConfinement::Set(NetworkConfinement::Level::Unconfined); }

    static std::string NextText(UdpSocket& socket)
    {
        pollfd ready{socket.Descriptor(), POLLIN, 0};
        if (poll(&ready, 1, 2000) != 1)
            return "(nothing)";
        char buffer[64];
        UdpSocket::Datagram datagram = socket.Receive(buffer, sizeof buffer);
        return datagram.length < 0 ? "(nothing)" : std::string(buffer, static_cast<std::size_t>(datagram.length));
    }

    static std::string BoundAddress(const UdpSocket& socket)
    {
        sockaddr_in local{};
        socklen_t length = sizeof local;
        getsockname(socket.Descriptor(), reinterpret_cast<sockaddr*>(&local), &length);
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
        return text;
    }
};

} // namespace

// The fuzz targets rely on this: whatever hosts a hostile message names, nothing is
// looked up and nothing leaves the machine.
TEST_F(NetworkConfinementTest, ConfinedSocketsNeverLookUpNamesNorLeaveLoopback)
{
    UdpSocket receiver;
    UdpSocket sender;
    ASSERT_TRUE(receiver.Open("127.0.0.1", 0));
    ASSERT_TRUE(sender.Open("127.0.0.1", 0));
    int port = receiver.LocalPort();

    NetworkConfinement::Set(NetworkConfinement::Level::LoopbackOnly);
    UdpSocket::Endpoint resolved;
    EXPECT_FALSE(UdpSocket::ResolveEndpoint("localhost", 5060, resolved));
    EXPECT_FALSE(UdpSocket::ResolveEndpoint("sip.example.com", 5060, resolved));
    ASSERT_TRUE(UdpSocket::ResolveEndpoint("192.0.2.7", 5060, resolved));
    EXPECT_EQ(resolved.address, htonl(0xC0000207));
    EXPECT_FALSE(sender.SendTo("named", "localhost", port));
    EXPECT_FALSE(sender.SendTo("outside", "192.0.2.7", 5060));
    EXPECT_FALSE(sender.SendTo("broadcast", "255.255.255.255", 5060));
    EXPECT_FALSE(sender.SendTo("any", "0.0.0.0", port));
    EXPECT_TRUE(sender.SendTo("first", "127.0.0.1", port));

    NetworkConfinement::Set(NetworkConfinement::Level::NoTraffic);
    EXPECT_TRUE(sender.SendTo("dropped", "127.0.0.1", port));
    EXPECT_FALSE(sender.SendTo("outside", "10.1.2.3", 5060));
    EXPECT_FALSE(sender.SendTo("named", "localhost", port));

    // A destination resolved while unconfined (as an RTP socket keeps its peer's)
    // is checked again on every send.
    NetworkConfinement::Set(NetworkConfinement::Level::Unconfined);
    UdpSocket::Endpoint outside;
    ASSERT_TRUE(UdpSocket::ResolveEndpoint("192.0.2.7", 5060, outside));
    EXPECT_FALSE(UdpSocket::ResolveEndpoint("192.0.2.7", 65536, outside));
    NetworkConfinement::Set(NetworkConfinement::Level::LoopbackOnly);
    const std::string kept = "kept";
    const std::span<const std::uint8_t> keptBytes(reinterpret_cast<const std::uint8_t*>(kept.data()), kept.size());
    EXPECT_FALSE(sender.SendTo(keptBytes, outside));
    EXPECT_TRUE(sender.SendTo("last", "127.0.0.1", port));
    EXPECT_EQ(NextText(receiver), "first");
    EXPECT_EQ(NextText(receiver), "last");

    UdpSocket everyAddress;
    ASSERT_TRUE(everyAddress.Open("", 0));
    EXPECT_EQ(BoundAddress(everyAddress), "127.0.0.1");

    NetworkConfinement::Set(NetworkConfinement::Level::Unconfined);
    UdpSocket unconfined;
    ASSERT_TRUE(unconfined.Open("", 0));
    EXPECT_EQ(BoundAddress(unconfined), "0.0.0.0");
    ASSERT_TRUE(UdpSocket::ResolveEndpoint("localhost", 5060, resolved));
    EXPECT_EQ(resolved.address, htonl(INADDR_LOOPBACK));
}
