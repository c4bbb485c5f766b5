#include "media/CallStatistics.h"
#include "media/EModel.h"
#include "media/RtcpPacket.h"
#include "media/RtcpSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using Micros = std::chrono::microseconds;
constexpr std::uint32_t OwnSsrc = 0x0A0B0C0D;
constexpr std::uint32_t PeerSsrc = 0x5EED;
// An NTP time whose middle 32 bits are 0xC0000000.
constexpr std::uint64_t SomeNtp = 0x0000C00000000000ull;

std::vector<std::uint8_t> Written(const RtcpPacket::Report& report)
{
    std::array<std::uint8_t, RtcpPacket::MaxWrittenBytes> room{};
    const std::size_t length = RtcpPacket::Write(report, room);
    return {room.begin(), room.begin() + static_cast<std::ptrdiff_t>(length)};
}

RtcpSession::Now At(Micros monotonic, std::uint64_t ntp = SomeNtp)
{
    return {monotonic, ntp};
}

// The peer's stream: `count` packets of 20 ms from `first`, arriving on time.
void Receive(RtcpSession& session, std::uint16_t first, int count, std::vector<int> missing = {})
{
    for (int n = 0; n < count; ++n) {
        if (std::find(missing.begin(), missing.end(), n) != missing.end())
            continue;
        session.OnRtpReceived(PeerSsrc, static_cast<std::uint16_t>(first + n), 160u * static_cast<std::uint32_t>(n),
                              160, Micros(20000 * n), true);
    }
}

// A report the session wrote, read back; the bytes stay with what was read of them.
struct WrittenReport {
    std::vector<std::uint8_t> bytes;
    std::optional<RtcpPacket::Compound> read;

    const RtcpPacket::Compound* operator->() const { return &*read; }
    explicit operator bool() const { return read.has_value(); }
};

WrittenReport ReportOf(RtcpSession& session, RtcpSession::Now now, bool bye = false)
{
    WrittenReport report;
    report.bytes.resize(RtcpPacket::MaxWrittenBytes);
    report.bytes.resize(session.WriteReport(now, bye, report.bytes));
    if (!report.bytes.empty())
        report.read = RtcpPacket::Parse(report.bytes);
    return report;
}

} // namespace

TEST(RtcpPacket, WhatThisSideWritesReadsBackWithEveryField)
{
    RtcpPacket::Report report;
    report.ssrc = OwnSsrc;
    report.senderInfo = RtcpPacket::SenderInfo{0x0102030405060708ull, 160000, 500, 80000};
    RtcpPacket::ReportBlock block;
    block.ssrc = PeerSsrc;
    block.fractionLost = 26;
    block.cumulativeLost = -3;
    block.highestSequence = 0x10005;
    block.jitter = 40;
    block.lastSenderReport = 0x11223344;
    block.delaySinceLastSenderReport = 0x8000;
    report.block = block;
    report.cname = "4f2a@orvsip";
    report.bye = true;
    const std::vector<std::uint8_t> bytes = Written(report);
    ASSERT_EQ(bytes.size() % 4, 0u);
    EXPECT_EQ(bytes[1], RtcpPacket::SenderReportType);
    EXPECT_TRUE(RtcpPacket::LooksLikeRtcp(bytes));

    const auto read = RtcpPacket::Parse(bytes);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->senderSsrc, OwnSsrc);
    ASSERT_TRUE(read->senderInfo);
    EXPECT_EQ(read->senderInfo->ntpTimestamp, 0x0102030405060708ull);
    EXPECT_EQ(read->senderInfo->packetCount, 500u);
    EXPECT_EQ(read->senderInfo->octetCount, 80000u);
    ASSERT_EQ(read->blockCount, 1u);
    const RtcpPacket::ReportBlock* about = read->BlockAbout(PeerSsrc);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->fractionLost, 26);
    EXPECT_EQ(about->cumulativeLost, -3) << "24-bit signed";
    EXPECT_EQ(about->highestSequence, 0x10005u);
    EXPECT_EQ(about->lastSenderReport, 0x11223344u);
    EXPECT_EQ(about->delaySinceLastSenderReport, 0x8000u);
    EXPECT_EQ(read->BlockAbout(OwnSsrc), nullptr);
    EXPECT_EQ(read->cname, "4f2a@orvsip");
    EXPECT_TRUE(read->bye);

    report.senderInfo.reset();
    report.block.reset();
    report.bye = false;
    const auto receiverReport = RtcpPacket::Parse(Written(report));
    ASSERT_TRUE(receiverReport);
    EXPECT_FALSE(receiverReport->senderInfo);
    EXPECT_EQ(receiverReport->blockCount, 0u);
    EXPECT_FALSE(receiverReport->bye);

    report.cname = std::string(256, 'x');
    EXPECT_TRUE(Written(report).empty()) << "no CNAME beyond 255 bytes";
    std::array<std::uint8_t, 16> small{};
    report.cname = "x";
    EXPECT_EQ(RtcpPacket::Write(report, small), 0u) << "no room";
}

TEST(RtcpPacket, AMalformedCompoundIsDroppedWhole)
{
    RtcpPacket::Report report;
    report.ssrc = OwnSsrc;
    report.block = RtcpPacket::ReportBlock{PeerSsrc};
    report.cname = "abc";
    const std::vector<std::uint8_t> good = Written(report);
    ASSERT_TRUE(RtcpPacket::Parse(good));

    auto changed = [&](auto change) {
        std::vector<std::uint8_t> bytes = good;
        change(bytes);
        return RtcpPacket::Parse(bytes).has_value();
    };
    EXPECT_FALSE(changed([](auto& b) { b.resize(b.size() - 4); })) << "cut short";
    EXPECT_FALSE(changed([](auto& b) { b.push_back(0); })) << "not whole words";
    EXPECT_FALSE(changed([](auto& b) { b.insert(b.end(), {0x80, 201, 0, 5}); })) << "a length beyond the end";
    EXPECT_FALSE(changed([](auto& b) { b[0] = 0x41; })) << "version 1";
    EXPECT_FALSE(changed([](auto& b) { b[1] = 202; })) << "not a report first";
    EXPECT_FALSE(changed([](auto& b) { b[0] |= 0x20; })) << "padding on the first packet";
    EXPECT_FALSE(changed([](auto& b) { b[0] = 0x82; })) << "two blocks announced, one there";
    EXPECT_FALSE(changed([](auto& b) { b[b.size() - 7] = 0x7F; })) << "an SDES item running past its packet";
    EXPECT_FALSE(changed([](auto& b) { b[b.size() - 16] = 0x41; })) << "a later packet of version 1";
    EXPECT_FALSE(RtcpPacket::Parse(std::vector<std::uint8_t>{0x80, 201, 0, 0})) << "shorter than a report";
    EXPECT_FALSE(RtcpPacket::Parse({})) << "empty";

    // Padding on the last packet, and packet types it does not know, are fine.
    std::vector<std::uint8_t> padded = good;
    padded.insert(padded.end(), {0xA0, 204, 0, 2, 0, 0, 0, 7, 0, 0, 0, 4});
    EXPECT_TRUE(RtcpPacket::Parse(padded));
    padded.back() = 9;
    EXPECT_FALSE(RtcpPacket::Parse(padded)) << "more padding than the packet holds";
    padded.back() = 0;
    EXPECT_FALSE(RtcpPacket::Parse(padded)) << "a padding count of 0";

    EXPECT_FALSE(RtcpPacket::LooksLikeRtcp(std::vector<std::uint8_t>{0x80, 0x00})) << "PCMU";
    EXPECT_FALSE(RtcpPacket::LooksLikeRtcp(std::vector<std::uint8_t>{0x80, 0xE5})) << "telephone event with marker";
}

TEST(RtcpSession, ReportsWhatWasSentAndWhatWasLostOfThePeersStream)
{
    RtcpSession session;
    EXPECT_FALSE(session.ReportDue(At(Micros(0))));
    session.Start(OwnSsrc, "me", At(Micros(0)));
    EXPECT_FALSE(session.ReportDue(At(Micros(1000000))));
    EXPECT_TRUE(session.ReportDue(At(RtcpSession::MinimumInterval))) << "the first within half the minimum, spread";

    RtcpSession::Figures figures = session.CurrentFigures();
    EXPECT_EQ(figures.lost, -1) << "no stream of the peer yet";
    EXPECT_EQ(figures.peerLost, -1);
    EXPECT_EQ(figures.roundTripMs, -1);

    for (std::uint16_t n = 0; n < 10; ++n)
        session.OnRtpSent(160, static_cast<std::uint16_t>(65530 + n), 1000u + 160u * n, Micros(20000 * n));
    // 100 packets across the sequence number's wrap, 5 of them lost.
    Receive(session, 65500, 100, {10, 40, 41, 42, 98});
    figures = session.CurrentFigures();
    EXPECT_EQ(figures.sentPackets, 10);
    EXPECT_EQ(figures.sentOctets, 1600);
    EXPECT_EQ(figures.receivedPackets, 95);
    EXPECT_EQ(figures.lost, 5);
    EXPECT_NEAR(figures.jitterMs, 0, 0.01) << "packets on time";

    const auto report = ReportOf(session, At(Micros(5000000)));
    ASSERT_TRUE(report);
    ASSERT_TRUE(report->senderInfo) << "this side sent: a sender report";
    EXPECT_EQ(report->senderInfo->packetCount, 10u);
    EXPECT_EQ(report->senderInfo->ntpTimestamp, SomeNtp);
    EXPECT_EQ(report->cname, "me");
    const RtcpPacket::ReportBlock* block = report->BlockAbout(PeerSsrc);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->cumulativeLost, 5);
    EXPECT_EQ(block->fractionLost, 5 * 256 / 99) << "of the 99 expected after the first";
    EXPECT_EQ(block->highestSequence, 0x10000u + static_cast<std::uint16_t>(65500 + 99));
    EXPECT_EQ(block->lastSenderReport, 0u) << "no sender report of the peer yet";
    EXPECT_FALSE(session.ReportDue(At(Micros(5000000)))) << "the next one is scheduled";

    // A report later without sending: still a sender report once, then receiver reports.
    EXPECT_TRUE(ReportOf(session, At(Micros(10000000)))->senderInfo);
    const auto later = ReportOf(session, At(Micros(15000000)), true);
    ASSERT_TRUE(later);
    EXPECT_FALSE(later->senderInfo);
    EXPECT_TRUE(later->bye);
    EXPECT_EQ(later->BlockAbout(PeerSsrc)->fractionLost, 0) << "nothing lost since";

    session.Stop();
    EXPECT_FALSE(session.ReportDue(At(Micros(60000000))));
    EXPECT_EQ(session.CurrentFigures().lost, 5) << "the figures stay after the call";
    session.Start(OwnSsrc, "me", At(Micros(0)));
    EXPECT_EQ(session.CurrentFigures().lost, -1) << "and go with the next";
    EXPECT_EQ(session.CurrentFigures().sentPackets, 0);
}

TEST(RtcpSession, ReadsThePeersReportAndTheRoundTrip)
{
    RtcpSession session;
    session.Start(OwnSsrc, "me", At(Micros(0)));
    for (std::uint16_t n = 0; n < 200; ++n)
        session.OnRtpSent(160, static_cast<std::uint16_t>(100 + n), 160u * n, Micros(20000 * n));
    // Our sender report left at SomeNtp; the peer held it 0.25 s and its report came
    // 0.3 s after ours left: 50 ms round trip.
    RtcpPacket::Compound compound;
    compound.senderSsrc = PeerSsrc;
    compound.senderInfo = RtcpPacket::SenderInfo{0x1234567890ABCDEFull, 0, 10, 1600};
    compound.blockCount = 2;
    compound.blocks[0].ssrc = 0x999;
    compound.blocks[0].cumulativeLost = 77;
    compound.blocks[1].ssrc = OwnSsrc;
    compound.blocks[1].cumulativeLost = 10;
    compound.blocks[1].highestSequence = 299;
    compound.blocks[1].jitter = 40;
    compound.blocks[1].lastSenderReport = 0xC0000000;
    compound.blocks[1].delaySinceLastSenderReport = 65536 / 4;
    const std::uint64_t arrival = SomeNtp + (std::uint64_t{3} << 32) / 10;
    session.OnRtcpReceived(compound, arrival);
    RtcpSession::Figures figures = session.CurrentFigures();
    EXPECT_EQ(figures.peerLost, 10) << "the block about this side, not another";
    EXPECT_NEAR(figures.peerLostPercent, 5.0, 0.01) << "10 of the 200 the peer expected";
    EXPECT_DOUBLE_EQ(figures.peerJitterMs, 5.0);
    EXPECT_NEAR(figures.roundTripMs, 50, 0.1);

    // Our next report names the peer's sender report and how long we held it.
    Receive(session, 1, 10);
    const auto report = ReportOf(session, At(Micros(9000000), arrival + (std::uint64_t{1} << 31)));
    ASSERT_TRUE(report);
    const RtcpPacket::ReportBlock* block = report->BlockAbout(PeerSsrc);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->lastSenderReport, 0x567890ABu) << "the middle 32 bits of its NTP time";
    EXPECT_EQ(block->delaySinceLastSenderReport, 65536u / 2);

    // A report whose times do not add up (a peer that does not know our report) leaves
    // the round trip as it was.
    compound.blocks[1].lastSenderReport = 0xC0010000;
    session.OnRtcpReceived(compound, SomeNtp);
    EXPECT_NEAR(session.CurrentFigures().roundTripMs, 50, 0.1);
}

TEST(RtcpSession, JitterFollowsTheArrivalsAndANewStreamOfThePeerKeepsItsLosses)
{
    RtcpSession session;
    session.Start(OwnSsrc, "me", At(Micros(0)));
    // Every other packet 4 ms late: the transit times differ by 4 ms each time.
    for (int n = 0; n < 400; ++n)
        session.OnRtpReceived(PeerSsrc, static_cast<std::uint16_t>(n), 160u * static_cast<std::uint32_t>(n), 160,
                              Micros(20000 * n + (n % 2) * 4000), true);
    EXPECT_NEAR(session.CurrentFigures().jitterMs, 4.0, 0.1);
    // Telephone events keep their timestamp: they do not count for jitter.
    for (int n = 400; n < 420; ++n)
        session.OnRtpReceived(PeerSsrc, static_cast<std::uint16_t>(n), 160u * 400, 4, Micros(20000 * n), false);
    EXPECT_NEAR(session.CurrentFigures().jitterMs, 4.0, 0.1);

    Receive(session, 5000, 50, {20});
    EXPECT_EQ(session.CurrentFigures().lost, 1) << "a jump restarts the count: one lost, not 4500";
    EXPECT_GT(session.CurrentFigures().receivedPackets, 460);

    session.OnRtpReceived(0xBEEF, 7, 0, 160, Micros(0), true);
    session.OnRtpReceived(0xBEEF, 8, 160, 160, Micros(20000), true);
    session.OnRtpReceived(0xBEEF, 10, 480, 160, Micros(60000), true);
    EXPECT_EQ(session.CurrentFigures().lost, 2) << "the first stream's loss and the new one's";
}

TEST(RtcpSession, ReportsComeEveryFiveSecondsOnAverageSpreadAsTheRfcSays)
{
    const double compensation = std::exp(1.0) - 1.5;
    EXPECT_NEAR(RtcpSession::Interval(false, 100, 0.0).count(), 5e6 * 0.5 / compensation, 1);
    EXPECT_NEAR(RtcpSession::Interval(false, 100, 1.0).count(), 5e6 * 1.5 / compensation, 1);
    EXPECT_NEAR(RtcpSession::Interval(true, 100, 1.0).count(), 2.5e6 * 1.5 / compensation, 1);
    EXPECT_GT(RtcpSession::Interval(false, 2000, 0.5).count(), 5500000) << "large reports take longer";

    RtcpSession session;
    session.Start(OwnSsrc, "me", At(Micros(0)));
    Micros now(0);
    double total = 0;
    constexpr int Reports = 200;
    for (int report = 0; report < Reports; ++report) {
        Micros next = now;
        while (!session.ReportDue(At(next)))
            next += Micros(10000);
        if (report > 0) {
            EXPECT_GE(next - now, Micros(2040000));
            EXPECT_LE(next - now, Micros(6170000));
            total += static_cast<double>((next - now).count());
        }
        now = next;
        ASSERT_TRUE(ReportOf(session, At(now)));
    }
    EXPECT_NEAR(total / (Reports - 1) / 1e6, 5 / compensation, 0.3);
}

TEST(EModel, ScoresCodecsLossAndDelay)
{
    EXPECT_NEAR(EModel::Mos(3, 40, 0), 4.41, 0.01) << "G.711 with no impairment: R 93.2";
    EXPECT_DOUBLE_EQ(EModel::Mos(2, 40, 0), EModel::Mos(3, 40, 0));
    EXPECT_DOUBLE_EQ(EModel::DelayImpairment(100), 0);
    EXPECT_NEAR(EModel::DelayImpairment(200), 3.04, 0.01);
    EXPECT_NEAR(EModel::DelayImpairment(400), 24.08, 0.01);
    EXPECT_LT(EModel::Mos(3, 300, 0), EModel::Mos(3, 150, 0));
    EXPECT_NEAR(EModel::EffectiveEquipmentImpairment(3, 5), 95 * 5 / 30.1, 0.01);
    EXPECT_NEAR(EModel::Mos(3, 40, 5), 3.92, 0.02);
    EXPECT_LT(EModel::Mos(4, 40, 0), EModel::Mos(3, 40, 0)) << "G.729A's own impairment";
    EXPECT_LT(EModel::Mos(0, 40, 0), EModel::Mos(4, 40, 0)) << "GSM 06.10's larger one";
    EXPECT_LT(EModel::Mos(3, 40, 100), 1.2) << "nothing arrives";
    EXPECT_DOUBLE_EQ(EModel::MosOfRating(-5), 1.0);
    EXPECT_DOUBLE_EQ(EModel::MosOfRating(120), 4.5);
    EXPECT_DOUBLE_EQ(EModel::Mos(-1, 40, 0), -1) << "no codec, no score";
}

TEST(CallStatistics, TextHoldsEveryKeyInOrderAndUnknownFiguresAreMinusOne)
{
    EXPECT_EQ(CallStatistics{}.ToText(),
              "codec=-1;sent_packets=-1;sent_bytes=-1;received_packets=-1;received_bytes=-1;lost=-1;peer_lost=-1;"
              "jitter_ms=-1;peer_jitter_ms=-1;rtt_ms=-1;concealed=-1;jb_delay_ms=-1;mos=-1");

    RtcpSession::Figures figures;
    figures.sentPackets = 1000;
    figures.sentOctets = 160000;
    figures.receivedPackets = 950;
    figures.receivedOctets = 152000;
    figures.lost = 50;
    figures.expected = 1000;
    figures.jitterMs = 1.25;
    figures.peerLost = 10;
    figures.peerLostPercent = 1;
    figures.peerJitterMs = 0.5;
    figures.roundTripMs = 0.44;
    CallStatistics::Playout playout{3, 20, 7, 60};
    const CallStatistics statistics = CallStatistics::Of(figures, playout);
    EXPECT_EQ(statistics.ToText(),
              "codec=PCMU;sent_packets=1000;sent_bytes=160000;received_packets=950;received_bytes=152000;lost=50;"
              "peer_lost=10;jitter_ms=1.2;peer_jitter_ms=0.5;rtt_ms=0.4;concealed=7;jb_delay_ms=60.0;mos=3.9");
    EXPECT_NEAR(statistics.mos, EModel::Mos(3, 0.22 + 60 + 20, 5.0), 1e-9) << "the worse direction's 5 %";

    figures.peerLostPercent = 20;
    EXPECT_NEAR(CallStatistics::Of(figures, playout).mos, EModel::Mos(3, 80.22, 20), 1e-9);
    playout.jitterBufferDelayMs = -1;
    figures.roundTripMs = -1;
    EXPECT_NEAR(CallStatistics::Of(figures, playout).mos, EModel::Mos(3, 20, 20), 1e-9)
        << "what is not known adds no delay";
    figures.lost = -1;
    EXPECT_EQ(CallStatistics::Of(figures, playout).mos, -1) << "no stream of the peer, no score";
}
