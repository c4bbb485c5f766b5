#include "platform/UdpSocket.h"

#include <gtest/gtest.h>

#include <string>

TEST(UdpSocket, RefusesBindAddressesThatAreNotDottedIpv4)
{
    UdpSocket socket;
    EXPECT_FALSE(socket.Open("localhost", 0));
    EXPECT_FALSE(socket.Open("127.0.0", 0));
    EXPECT_FALSE(socket.IsOpen());
    EXPECT_TRUE(socket.Open("127.0.0.1", 0));
    EXPECT_GT(socket.LocalPort(), 0);
}

TEST(UdpSocket, SecondBindOnABusyPortFails)
{
    UdpSocket first;
    UdpSocket second;
    ASSERT_TRUE(first.Open("127.0.0.1", 0));
    EXPECT_FALSE(second.Open("127.0.0.1", first.LocalPort()));
}

TEST(UdpSocket, OversizedDatagramIsReportedTruncated)
{
    UdpSocket receiver;
    UdpSocket sender;
    ASSERT_TRUE(receiver.Open("127.0.0.1", 0));
    ASSERT_TRUE(sender.Open("127.0.0.1", 0));
    ASSERT_TRUE(sender.SendTo(std::string(5000, 'x'), "127.0.0.1", receiver.LocalPort()));
    char buffer[4096];
    UdpSocket::Datagram datagram;
    for (int i = 0; i < 100 && datagram.length < 0; ++i)
        datagram = receiver.Receive(buffer, sizeof buffer);
    EXPECT_TRUE(datagram.truncated);
}

TEST(UdpSocket, SendingToAnUnresolvableHostFails)
{
    UdpSocket socket;
    ASSERT_TRUE(socket.Open("127.0.0.1", 0));
    EXPECT_FALSE(socket.SendTo("x", "", 5060));
    EXPECT_TRUE(socket.SendTo("x", "localhost", socket.LocalPort()));
}
