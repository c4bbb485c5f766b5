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

TEST(UdpSocket, ABatchReadTakesWhatWaitsUpToItsLimitAndFlagsTheTooLarge)
{
    UdpSocket receiver;
    UdpSocket sender;
    ASSERT_TRUE(receiver.Open("127.0.0.1", 0));
    ASSERT_TRUE(sender.Open("127.0.0.1", 0));
    DatagramBatch batch(4, 100);
    EXPECT_EQ(receiver.ReceiveBatch(batch, 4), 0) << "nothing waits";
    for (const std::string& text : {std::string("one"), std::string(150, 'L'), std::string("three"),
                                    std::string(), std::string("five"), std::string("six")})
        ASSERT_TRUE(sender.SendTo(text, "127.0.0.1", receiver.LocalPort()));
    int read = 0;
    for (int tries = 0; tries < 100 && read == 0; ++tries)
        read = receiver.ReceiveBatch(batch, 10);
    ASSERT_EQ(read, 4) << "never more than the batch holds";
    auto text = [&](std::size_t index) {
        const auto bytes = batch.Bytes(index);
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(text(0), "one");
    EXPECT_FALSE(batch.Truncated(0));
    EXPECT_TRUE(batch.Truncated(1));
    EXPECT_EQ(text(1), std::string(100, 'L')) << "cut at the room of one datagram";
    EXPECT_EQ(text(2), "three");
    EXPECT_EQ(text(3), "") << "an empty datagram is one too";
    EXPECT_FALSE(batch.Truncated(3));
    ASSERT_EQ(receiver.ReceiveBatch(batch, 1), 1) << "the limit holds";
    EXPECT_EQ(text(0), "five");
    ASSERT_EQ(receiver.ReceiveBatch(batch, 4), 1);
    EXPECT_EQ(text(0), "six");
    EXPECT_FALSE(batch.Truncated(0)) << "nothing left over from the earlier read";
    EXPECT_EQ(receiver.ReceiveBatch(batch, 4), 0);
    UdpSocket closed;
    EXPECT_EQ(closed.ReceiveBatch(batch, 4), 0);
}
