#include "useragent/SipTransport.h"

#include "platform/MessageLoop.h"
#include "platform/UdpSocket.h"
#include "tests/platform/TestDnsServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int WaitMs = 5000;

struct Told : SipTransport::Listener {
    struct Sent {
        std::string text;
        std::string address;
        int port;
    };
    std::vector<Sent> sent;
    std::vector<std::pair<std::uint64_t, std::string>> notSent;

    void OnMessageSent(const std::string& text, const SipTransport::Owner&, SipTransportKind,
                       const std::string& address, int port) override
    {
        sent.push_back({text, address, port});
    }
    void OnMessageNotSent(const SipTransport::Owner& owner, const std::string& text) override
    {
        notSent.emplace_back(owner.callSerial, text);
    }
    void OnMessageReceived(const std::string&, const SipSource&) override {}
    void OnTransportProblem(const std::string&, const std::string&, int) override {}
    void OnRegistrationConnectionLost() override {}
};

class SipTransportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("ORVSIP_DNS_SERVER", dns.Address().c_str(), 1);
        ASSERT_TRUE(socket.Open("127.0.0.1", 0));
        ASSERT_TRUE(peer.Open("127.0.0.1", 0));
        dns.Add("peer.test", "127.0.0.1", 1);
    }
    void TearDown() override { unsetenv("ORVSIP_DNS_SERVER"); }

    std::string ReceivedAtPeer()
    {
        char buffer[70000];
        std::string text;
        loop.RunUntil(
            [&] {
                UdpSocket::Datagram got = peer.Receive(buffer, sizeof buffer);
                if (got.length > 0)
                    text.assign(buffer, static_cast<std::size_t>(got.length));
                return !text.empty();
            },
            WaitMs);
        return text;
    }

    static SipTransport::Owner Call(std::uint64_t serial) { return {SipTransport::Owner::Kind::Call, serial}; }
    static SipDestination To(const std::string& host, int port) { return {SipTransportKind::Udp, host, port}; }

    TestDnsServer dns;
    MessageLoop loop;
    UdpSocket socket;
    UdpSocket peer;
    Told told;
    SipTransport transport{loop, socket, told};
};

} // namespace

TEST_F(SipTransportTest, ANameIsLookedUpOnceForItsTimeToLiveAndItsMessagesLeaveInOrder)
{
    transport.Send("first", To("peer.test", peer.LocalPort()), Call(1));
    transport.Send("second", To("peer.test", peer.LocalPort()), Call(1));
    transport.Send("first", To("peer.test", peer.LocalPort()), Call(1));
    EXPECT_TRUE(told.sent.empty()) << "nothing leaves before the name is known";
    EXPECT_EQ(ReceivedAtPeer(), "first");
    EXPECT_EQ(ReceivedAtPeer(), "second");
    ASSERT_EQ(told.sent.size(), 2u) << "a copy resent while the first waited went with it";
    EXPECT_EQ(told.sent[0].address, "127.0.0.1");
    EXPECT_EQ(told.sent[0].port, peer.LocalPort());
    EXPECT_EQ(dns.Queries("peer.test"), 1);

    transport.Send("third", To("PEER.test", peer.LocalPort()), Call(1));
    EXPECT_EQ(told.sent.size(), 3u) << "a fresh answer sends at once";
    EXPECT_EQ(ReceivedAtPeer(), "third");
    EXPECT_EQ(dns.Queries("peer.test"), 1);
    EXPECT_EQ(transport.KnownAddress("peer.test"), "127.0.0.1");

    // After its time to live of one second the name is asked again.
    loop.RunFor(1100);
    EXPECT_EQ(transport.KnownAddress("peer.test"), "");
    transport.Send("fourth", To("peer.test", peer.LocalPort()), Call(1));
    EXPECT_EQ(ReceivedAtPeer(), "fourth");
    EXPECT_EQ(dns.Queries("peer.test"), 2);
    EXPECT_TRUE(told.notSent.empty());
}

TEST_F(SipTransportTest, WhatCannotLeaveIsToldLaterAndTheNameIsAskedAgainAfterARefusal)
{
    transport.Send("unresolvable", To("nosuch.test", 5060), Call(7));
    transport.Send("reserved", To("sip.nosuch.invalid", 5060), Call(8));
    transport.Send("no port", To("127.0.0.1", 70000), Call(9));
    transport.Send("keep-alive", To("nosuch.invalid", 5060), Call(10), true);
    EXPECT_TRUE(told.notSent.empty()) << "never inside the sending call";
    ASSERT_TRUE(loop.RunUntil([&] { return told.notSent.size() >= 3; }, WaitMs));
    loop.RunFor(100);
    EXPECT_EQ(told.notSent, (std::vector<std::pair<std::uint64_t, std::string>>{
                                {9, "no port"}, {8, "reserved"}, {7, "unresolvable"}}));
    EXPECT_TRUE(told.sent.empty());

    // A datagram no UDP packet can carry is refused: not announced, told to its
    // owner, and the name it went to is looked up again next time.
    transport.Send("small", To("peer.test", peer.LocalPort()), Call(1));
    EXPECT_EQ(ReceivedAtPeer(), "small");
    const std::string huge(SipTransport::MaxDatagramSize + 1, 'x');
    transport.Send(huge, To("peer.test", peer.LocalPort()), Call(2));
    ASSERT_TRUE(loop.RunUntil([&] { return told.notSent.size() == 4; }, WaitMs));
    EXPECT_EQ(told.notSent.back().first, 2u);
    EXPECT_EQ(told.sent.size(), 1u);
    transport.Send("again", To("peer.test", peer.LocalPort()), Call(1));
    EXPECT_EQ(ReceivedAtPeer(), "again");
    EXPECT_EQ(dns.Queries("peer.test"), 2);
}

TEST_F(SipTransportTest, MessagesWaitingForASilentServerAreBoundedAndDroppedOnRequest)
{
    dns.SetSilent(true);
    for (std::size_t n = 0; n < SipTransport::MaxWaiting + 20; ++n)
        transport.Send("message " + std::to_string(n), To("slow.test", 5060), Call(n));
    ASSERT_TRUE(loop.RunUntil([&] { return told.notSent.size() == 20; }, WaitMs));
    EXPECT_EQ(told.notSent.front().second, "message " + std::to_string(SipTransport::MaxWaiting));
    transport.Stop();
    loop.RunFor(3500);
    EXPECT_EQ(told.notSent.size(), 20u) << "dropped messages are nobody's news";
    EXPECT_EQ(dns.Queries("slow.test"), 2) << "one look-up for all, tried twice";
}
