#include "media/RtpSourceLatch.h"
#include "platform/UdpSocket.h"

#include <gtest/gtest.h>

namespace {

NetworkEndpoint Endpoint(const char* ip, int port)
{
    NetworkEndpoint endpoint;
    EXPECT_TRUE(UdpSocket::ParseEndpoint(ip, port, endpoint));
    return endpoint;
}

const NetworkEndpoint Signalled = Endpoint("192.168.1.20", 4000);
const NetworkEndpoint Nat = Endpoint("203.0.113.9", 61000);
const NetworkEndpoint Stranger = Endpoint("198.51.100.3", 4000);

} // namespace

TEST(RtpSourceLatch, PacketsFromTheSignalledSourceSettleItAndNothingElseIsEverTaken)
{
    RtpSourceLatch latch;
    EXPECT_FALSE(latch.Accept(Signalled, 1)) << "no call: nothing taken";
    latch.Reset(Signalled);
    EXPECT_EQ(latch.Destination(), Signalled);
    EXPECT_TRUE(latch.Accept(Signalled, 7));
    for (int packet = 0; packet < 10; ++packet)
        EXPECT_FALSE(latch.Accept(Stranger, 7)) << packet;
    EXPECT_TRUE(latch.Accept(Signalled, 8)) << "the peer may change its SSRC";
    EXPECT_EQ(latch.Destination(), Signalled);
    EXPECT_FALSE(latch.Latched());
}

TEST(RtpSourceLatch, APeerBehindANatIsLatchedOntoAfterConsecutivePacketsOfOneSsrc)
{
    RtpSourceLatch latch;
    latch.Reset(Signalled);
    EXPECT_FALSE(latch.Accept(Nat, 5));
    EXPECT_FALSE(latch.Accept(Nat, 5));
    EXPECT_FALSE(latch.Accept(Stranger, 5)) << "another source breaks the run";
    EXPECT_FALSE(latch.Accept(Nat, 5));
    EXPECT_FALSE(latch.Accept(Nat, 6)) << "another SSRC breaks the run";
    EXPECT_FALSE(latch.Accept(Nat, 6));
    EXPECT_EQ(latch.Destination(), Signalled) << "sending stays where the SDP says until latched";
    EXPECT_TRUE(latch.Accept(Nat, 6));
    EXPECT_TRUE(latch.Latched());
    EXPECT_EQ(latch.Destination(), Nat);
    EXPECT_FALSE(latch.Accept(Signalled, 6)) << "once latched, even the SDP's address is another source";
    EXPECT_FALSE(latch.Accept(Stranger, 6));
    EXPECT_TRUE(latch.Accept(Nat, 9));

    // Media that moves opens latching again; no call takes nothing and sends nowhere.
    latch.Reset(Stranger);
    EXPECT_EQ(latch.Destination(), Stranger);
    EXPECT_FALSE(latch.Accept(Nat, 6));
    latch.Clear();
    EXPECT_FALSE(latch.Destination().IsSet());
    for (int packet = 0; packet < RtpSourceLatch::PacketsToLatch + 1; ++packet)
        EXPECT_FALSE(latch.Accept(Nat, 6));
}

TEST(RtpSourceLatch, ASdpNamingAGlobalAddressLatchesOnlyOntoAnotherPortOfIt)
{
    const NetworkEndpoint global = Endpoint("198.51.100.20", 4000);
    RtpSourceLatch latch;
    latch.Reset(global);
    for (int packet = 0; packet < 10; ++packet)
        EXPECT_FALSE(latch.Accept(Nat, 5)) << "a stranger first in the call still never wins it";
    const NetworkEndpoint otherPort = Endpoint("198.51.100.20", 4010);
    EXPECT_FALSE(latch.Accept(otherPort, 5));
    EXPECT_FALSE(latch.Accept(otherPort, 5));
    EXPECT_TRUE(latch.Accept(otherPort, 5));
    EXPECT_EQ(latch.Destination(), otherPort);
    for (const char* behindNat : {"10.1.2.3", "172.16.0.1", "172.31.255.1", "192.168.0.9", "100.64.0.1", "169.254.9.9"})
        EXPECT_TRUE(RtpSourceLatch::MayLatchOnto(Endpoint(behindNat, 4000), Nat)) << behindNat;
    for (const char* global : {"172.32.0.1", "100.128.0.1", "127.0.0.1", "11.0.0.1", "192.169.0.1"})
        EXPECT_FALSE(RtpSourceLatch::MayLatchOnto(Endpoint(global, 4000), Nat)) << global;
}
