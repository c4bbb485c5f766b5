#include "platform/DnsResolver.h"
#include "platform/MessageLoop.h"
#include "platform/MessageWindow.h"
#include "platform/UdpSocket.h"
#include "tests/platform/TestDnsServer.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

namespace {

constexpr int AnswerWaitMs = 5000;

class DnsResolverTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("ORVSIP_DNS_SERVER", server.Address().c_str(), 1); }
    void TearDown() override { unsetenv("ORVSIP_DNS_SERVER"); }

    // Asks, checks that nothing is answered inside the call, and runs the loop for the answer.
    std::optional<DnsResolver::Answer> Lookup(DnsResolver& resolver, const std::string& name)
    {
        std::optional<DnsResolver::Answer> answer;
        resolver.LookupAddress(name, [&](const DnsResolver::Answer& got) { answer = got; });
        EXPECT_FALSE(answer) << name << " was answered inside the call";
        loop.RunUntil([&] { return answer.has_value(); }, AnswerWaitMs);
        return answer;
    }

    TestDnsServer server;
    MessageLoop loop;
};

} // namespace

TEST_F(DnsResolverTest, AnswersLaterWithTheTimeToLiveAndAsksNoServerForReservedNames)
{
    server.Add("peer.test", "127.0.0.9", 120);
    DnsResolver resolver(loop);
    auto peer = Lookup(resolver, "peer.test");
    ASSERT_TRUE(peer && peer->found);
    EXPECT_EQ(UdpSocket::DottedAddress(peer->address), "127.0.0.9");
    EXPECT_EQ(peer->ttlSeconds, 120);
    EXPECT_EQ(server.Queries("peer.test"), 1);

    auto unknown = Lookup(resolver, "nosuch.test");
    ASSERT_TRUE(unknown);
    EXPECT_FALSE(unknown->found) << "NXDOMAIN";

    for (const char* reserved : {"sip.nosuch.invalid", "INVALID", "x.invalid."}) {
        auto answer = Lookup(resolver, reserved);
        ASSERT_TRUE(answer) << reserved;
        EXPECT_FALSE(answer->found) << reserved;
    }
    for (const char* local : {"localhost", "sip.LOCALHOST", "127.0.0.5"}) {
        auto answer = Lookup(resolver, local);
        ASSERT_TRUE(answer && answer->found) << local;
        EXPECT_EQ(UdpSocket::DottedAddress(answer->address), std::string(local) == "127.0.0.5" ? "127.0.0.5" : "127.0.0.1") << local;
        EXPECT_EQ(answer->ttlSeconds, DnsResolver::UnknownTtl) << local;
    }
    auto badlyNamed = Lookup(resolver, std::string("peer.test\0.x", 12));
    ASSERT_TRUE(badlyNamed);
    EXPECT_FALSE(badlyNamed->found);
    EXPECT_EQ(server.AllQueries(), 2) << "only peer.test and nosuch.test needed the server";
}

TEST_F(DnsResolverTest, ANameOfTheHostsFileNeedsNoServer)
{
    char hostName[256] = {};
    ASSERT_EQ(gethostname(hostName, sizeof hostName - 1), 0);
    DnsResolver resolver(loop);
    auto local = resolver.LocalAnswer(hostName);
    if (!local)
        GTEST_SKIP() << hostName << " is not in the hosts file here";
    EXPECT_TRUE(local->found);
    auto answer = Lookup(resolver, hostName);
    ASSERT_TRUE(answer && answer->found);
    EXPECT_EQ(answer->address, local->address);
    EXPECT_EQ(answer->ttlSeconds, DnsResolver::UnknownTtl);
    EXPECT_EQ(server.AllQueries(), 0);
}

TEST_F(DnsResolverTest, ASilentServerNeverHoldsTheLoopAndTheLookupFailsInTime)
{
    server.SetSilent(true);
    DnsResolver resolver(loop);
    int ticks = 0;
    MessageWindow ticker(loop, "ticker", [&](unsigned message, std::uintptr_t, std::intptr_t) {
        if (message == MessageWindow::TimerMessage)
            ++ticks;
    });
    ticker.SetTimer(1, 50);
    const auto started = std::chrono::steady_clock::now();
    auto answer = Lookup(resolver, "slow.test");
    const auto waited = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(answer) << "no answer within 5 s";
    EXPECT_FALSE(answer->found);
    EXPECT_GE(server.Queries("slow.test"), 1);
    // The loop ran its timer all along: the look-up never blocked it.
    EXPECT_GE(ticks, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count() / 50) - 3);
    EXPECT_EQ(resolver.InFlight(), 0u);
}

TEST_F(DnsResolverTest, AWaitWithoutTheLoopGetsItsAnswersAndAMalformedServerAsksNobody)
{
    server.Add("peer.test", "127.0.0.7", 60);
    {
        DnsResolver resolver(loop);
        std::optional<DnsResolver::Answer> answer;
        resolver.LookupAddress("peer.test", [&](const DnsResolver::Answer& got) { answer = got; });
        for (int round = 0; round < 200 && !answer; ++round) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            resolver.ProcessNow();
        }
        ASSERT_TRUE(answer && answer->found);
        EXPECT_EQ(UdpSocket::DottedAddress(answer->address), "127.0.0.7");
        // A look-up still out when the resolver goes is dropped with it.
        server.SetSilent(true);
        resolver.LookupAddress("gone.test", [](const DnsResolver::Answer&) { ADD_FAILURE() << "answered after the end"; });
    }
    loop.RunFor(100);

    setenv("ORVSIP_DNS_SERVER", "not a server", 1);
    const int before = server.AllQueries();
    DnsResolver unconfigured(loop);
    auto answer = Lookup(unconfigured, "peer.test");
    ASSERT_TRUE(answer);
    EXPECT_FALSE(answer->found);
    EXPECT_EQ(server.AllQueries(), before);
}
