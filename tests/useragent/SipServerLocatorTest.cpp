#include "useragent/SipServerLocator.h"

#include "platform/MessageLoop.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

namespace {

using Record = DnsResolver::ServiceRecord;

std::string Hosts(const SipServerLocator::Targets& targets)
{
    std::string hosts;
    for (const auto& target : targets)
        hosts += target.host + ":" + std::to_string(target.port) + " ";
    return hosts;
}

} // namespace

TEST(SipServerLocator, ServersComeByPriorityThenByWeightAndDotMeansNone)
{
    const std::vector<Record> records = {
        {20, 0, 5061, "backup"}, {10, 60, 5061, "heavy"}, {10, 20, 5062, "light"}, {10, 0, 5063, "zero"}};
    std::map<std::string, int> firsts;
    std::uint32_t draw = 0;
    for (int round = 0; round < 200; ++round) {
        const auto ordered = SipServerLocator::Order(records, SipTransportKind::Tls, [&] { return draw++ * 7919; });
        ASSERT_EQ(ordered.size(), 4u);
        EXPECT_EQ(ordered.back().host, "backup") << "a lower priority comes after all of the higher";
        EXPECT_EQ(ordered.front().transport, SipTransportKind::Tls);
        ++firsts[ordered.front().host];
    }
    EXPECT_GT(firsts["heavy"], firsts["light"]) << "the weight sets the odds";
    EXPECT_GT(firsts["light"], 0);
    EXPECT_EQ(SipServerLocator::Order({{0, 0, 5060, "."}}, SipTransportKind::Udp, [] { return 0u; }).size(), 0u);
    EXPECT_EQ(SipServerLocator::Order({{0, 0, 0, "host"}, {0, 0, 70000, "host"}}, SipTransportKind::Udp,
                                      [] { return 0u; })
                  .size(),
              0u);
}

TEST(SipServerLocator, NaptrRecordsNameTheServicesThisSideSpeaksInTheirOrder)
{
    const std::vector<DnsResolver::NaptrRecord> records = {
        {20, 10, "s", "SIP+D2U", "_sip._udp.example.test"},
        {10, 20, "S", "SIP+D2T", "_sip._tcp.example.test"},
        {10, 10, "s", "SIPS+D2T", "_sips._tcp.example.test"},
        {5, 10, "s", "SIP+D2S", "_sip._sctp.example.test"},
        {5, 10, "a", "SIP+D2T", "example.test"},
        {5, 10, "s", "E2U+sip", "!^.*$!sip:info@example.test!"},
    };
    const auto services = SipServerLocator::ServicesOf(records);
    ASSERT_EQ(services.size(), 3u);
    EXPECT_EQ(services[0], std::make_pair(SipTransportKind::Tls, std::string("_sips._tcp.example.test")));
    EXPECT_EQ(services[1], std::make_pair(SipTransportKind::Tcp, std::string("_sip._tcp.example.test")));
    EXPECT_EQ(services[2], std::make_pair(SipTransportKind::Udp, std::string("_sip._udp.example.test")));
}

TEST(SipServerLocator, AddressesAndPortsNeedNoRecordsAndAFailedServerGivesWayToTheNext)
{
    MessageLoop loop;
    DnsResolver resolver(loop);
    SipServerLocator locator(resolver);
    auto never = [](const SipServerLocator::Targets&) { FAIL() << "known at once"; };
    EXPECT_EQ(Hosts(*locator.Locate({SipTransportKind::Unspecified, "127.0.0.1", 0}, never)), "127.0.0.1:5060 ");
    EXPECT_EQ(Hosts(*locator.Locate({SipTransportKind::Tls, "127.0.0.1", 0}, never)), "127.0.0.1:5061 ");
    auto found = locator.Locate({SipTransportKind::Tcp, "pbx.example.test", 5080}, never);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->front().transport, SipTransportKind::Tcp);
    EXPECT_EQ(Hosts(*found), "pbx.example.test:5080 ");
    EXPECT_FALSE(locator.MoveOn({SipTransportKind::Tcp, "pbx.example.test", 5080})) << "one server has no other";

    // A name under "invalid" has no records: it is its own server, and is kept.
    SipServerLocator::Targets later;
    EXPECT_FALSE(locator.Locate({SipTransportKind::Unspecified, "pbx.invalid", 0},
                                [&](const SipServerLocator::Targets& targets) { later = targets; }));
    ASSERT_TRUE(loop.RunUntil([&] { return !later.empty(); }, 5000));
    EXPECT_EQ(Hosts(later), "pbx.invalid:5060 ");
    EXPECT_EQ(later.front().transport, SipTransportKind::Udp);
    EXPECT_TRUE(locator.Locate({SipTransportKind::Unspecified, "PBX.invalid", 0}, never));
}
