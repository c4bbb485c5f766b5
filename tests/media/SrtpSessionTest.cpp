#include "LineTestSupport.h"
#include "media/MediaEngine.h"
#include "media/RtcpPacket.h"
#include "media/RtpSourceLatch.h"
#include "media/SrtpSession.h"
#include "platform/DatagramBatch.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* Suite80 = "AES_CM_128_HMAC_SHA1_80";
constexpr const char* Suite32 = "AES_CM_128_HMAC_SHA1_32";

SrtpKeys::KeySalt KeyOf(std::uint8_t seed)
{
    SrtpKeys::KeySalt key{};
    for (std::size_t at = 0; at < key.size(); ++at)
        key[at] = static_cast<std::uint8_t>(seed + at);
    return key;
}

// Keys for this side and, mirrored, for its peer.
SrtpKeys KeysFor(const char* suite, std::uint8_t send, std::uint8_t receive)
{
    return {suite, KeyOf(send), KeyOf(receive)};
}

std::vector<std::uint8_t> Packet(std::uint16_t sequence, std::size_t payloadBytes = 160, std::uint32_t ssrc = 0x5EED)
{
    return RtpHeader::Build(false, 0, sequence, sequence * 160u, ssrc, std::vector<std::uint8_t>(payloadBytes, 0x55));
}

std::vector<std::uint8_t> Copy(std::span<const std::uint8_t> bytes)
{
    return {bytes.begin(), bytes.end()};
}

// A line on an encrypted call, and the peer's side of its keys.
struct EncryptedCall {
    EncryptedCall()
    {
        EXPECT_TRUE(peer.Configure(KeysFor(Suite80, 2, 1)));
        EXPECT_TRUE(rig.line.SetKeys(session, KeysFor(Suite80, 1, 2)));
        rig.StartCall(CodecSet::Pcmu, 0);
    }

    LineRig rig;
    std::shared_ptr<SrtpSession> session = std::make_shared<SrtpSession>();
    SrtpSession peer;
};

} // namespace

TEST(SrtpSession, OnlyAuthenticPacketsPassOnceAndAKeptKeyKeepsItsReplayWindow)
{
    SrtpSession ours;
    SrtpSession theirs;
    ASSERT_TRUE(ours.Configure(KeysFor(Suite80, 1, 2)));
    ASSERT_TRUE(theirs.Configure(KeysFor(Suite80, 2, 1)));
    EXPECT_EQ(ours.Suite(), Suite80);
    const auto plain = Packet(1);
    const auto first = Copy(ours.Protect(plain));
    ASSERT_EQ(first.size(), plain.size() + 10);
    EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + 12, first.begin())) << "the header stays readable";
    EXPECT_NE(Copy(std::span(first).subspan(12, 160)), Copy(std::span(plain).subspan(12, 160)));

    std::span<const std::uint8_t> received(first);
    ASSERT_TRUE(theirs.Unprotect(received));
    EXPECT_EQ(Copy(received), plain);
    received = first;
    EXPECT_FALSE(theirs.Unprotect(received)) << "a replay";
    auto second = Copy(ours.Protect(Packet(2)));
    auto damaged = second;
    damaged[40] ^= 0x04;
    received = damaged;
    EXPECT_FALSE(theirs.Unprotect(received));
    received = second;
    EXPECT_TRUE(theirs.Unprotect(received)) << "a damaged copy takes nothing from the real one";
    auto discards = theirs.TakeDiscards();
    EXPECT_EQ(discards.authentication, 1u);
    EXPECT_EQ(discards.replay, 1u);
    EXPECT_EQ(theirs.TakeDiscards().replay, 0u);

    // The same keys again (a re-INVITE that keeps them): the window goes on.
    ASSERT_TRUE(theirs.Configure(KeysFor(Suite80, 2, 1)));
    received = second;
    EXPECT_FALSE(theirs.Unprotect(received));
    EXPECT_EQ(theirs.TakeDiscards().replay, 1u);
    // The peer's new key: packets of the old one no longer pass.
    ASSERT_TRUE(theirs.Configure(KeysFor(Suite80, 2, 9)));
    const auto third = Copy(ours.Protect(Packet(3)));
    received = third;
    EXPECT_FALSE(theirs.Unprotect(received));
    EXPECT_EQ(theirs.TakeDiscards().authentication, 1u);

    ASSERT_TRUE(ours.Configure(KeysFor(Suite32, 1, 2)));
    EXPECT_EQ(ours.Protect(plain).size(), plain.size() + 4);
    EXPECT_TRUE(ours.Protect(Packet(4, 2048)).empty()) << "too large to protect: nothing leaves";
    std::span<const std::uint8_t> tooShort(plain.data(), 11);
    EXPECT_FALSE(theirs.Unprotect(tooShort));

    ASSERT_FALSE(ours.Configure(KeysFor("AES_256_CM_HMAC_SHA1_80", 1, 2)));
    EXPECT_TRUE(ours.Protect(plain).empty()) << "a key that cannot be used lets nothing through";
    received = plain;
    EXPECT_FALSE(ours.Unprotect(received));
    ASSERT_TRUE(ours.Configure({}));
    EXPECT_EQ(Copy(ours.Protect(plain)), plain) << "plain RTP without keys";
}

TEST(SrtpSession, APeerThatKeepsChangingItsSsrcHasItsOldestStreamForgotten)
{
    SrtpSession ours;
    SrtpSession theirs;
    ASSERT_TRUE(ours.Configure(KeysFor(Suite80, 1, 2)));
    ASSERT_TRUE(theirs.Configure(KeysFor(Suite80, 2, 1)));
    std::vector<std::vector<std::uint8_t>> firsts;
    for (std::uint32_t ssrc = 1; ssrc <= SrtpSession::MaxInboundStreams + 1; ++ssrc) {
        firsts.push_back(Copy(ours.Protect(Packet(7, 160, ssrc))));
        std::span<const std::uint8_t> received(firsts.back());
        ASSERT_TRUE(theirs.Unprotect(received)) << ssrc;
    }
    std::span<const std::uint8_t> latest(firsts.back());
    EXPECT_FALSE(theirs.Unprotect(latest)) << "a stream kept keeps its window";
    std::span<const std::uint8_t> oldest(firsts.front());
    EXPECT_TRUE(theirs.Unprotect(oldest)) << "the oldest stream was forgotten, and its memory with it";
}

TEST(SrtpSession, ALineSendsEveryPacketProtectedAndDecodesOnlyWhatPassesTheChecks)
{
    EncryptedCall call;
    LineRig& rig = call.rig;
    SrtpSession& peer = call.peer;
    EXPECT_EQ(rig.line.EncryptionSuite(), Suite80);
    for (std::size_t block = 0; block < 4; ++block)
        rig.line.SendMicrophoneBlock(SineBlock(1000, block));
    ASSERT_TRUE(rig.line.QueueTelephoneEvent(5, 101));
    for (int tick = 0; tick < 8; ++tick)
        rig.line.SendTick();
    const auto sent = rig.peer.TakeDatagrams();
    ASSERT_EQ(sent.size(), 2u + 8u) << "two audio packets and the event's eight";
    std::vector<std::size_t> sizes;
    for (const auto& datagram : sent) {
        std::span<const std::uint8_t> packet(datagram);
        if (peer.Unprotect(packet))
            sizes.push_back(packet.size());
    }
    EXPECT_EQ(sizes, (std::vector<std::size_t>{172, 172, 16, 16, 16, 16}));
    EXPECT_EQ(peer.TakeDiscards().replay, 4u) << "the event's start and end went three times each, as one";

    DatagramBatch batch(MediaLine::MaxDatagramsPerRead, MediaEngine::MaxRtpDatagram);
    rig.peer.Send(rig.port, Packet(10));
    rig.line.ReadOnBeat(false, batch);
    EXPECT_EQ(rig.line.InboundCodec(), -1) << "a plain packet is never decoded";
    const auto genuine = Copy(peer.Protect(Packet(11)));
    auto flipped = Copy(peer.Protect(Packet(12)));
    flipped.back() ^= 0x80;
    rig.peer.Send(rig.port, flipped);
    rig.peer.Send(rig.port, genuine);
    rig.peer.Send(rig.port, genuine);
    rig.line.ReadOnBeat(false, batch);
    EXPECT_EQ(rig.line.InboundCodec(), CodecSet::Pcmu);
    rig.line.StopMedia(true, true);
    EXPECT_EQ(rig.line.EncryptionSuite(), "");
    const auto discards = call.session->TakeDiscards();
    EXPECT_EQ(discards.authentication, 2u) << "the plain packet and the damaged one";
    EXPECT_EQ(discards.replay, 1u);

    rig.StartCall(CodecSet::Pcmu, 0);
    for (std::size_t block = 0; block < 2; ++block) {
        rig.line.SendTick();
        rig.line.SendMicrophoneBlock(SineBlock(1000, block));
    }
    const auto plain = rig.peer.Take();
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(plain[0].payload.size(), 160u) << "a call without keys after it is plain";
}

TEST(SrtpSession, OnlyAuthenticPacketsFromAnotherPortMoveTheLatch)
{
    LineRig rig;
    auto session = std::make_shared<SrtpSession>();
    SrtpSession peer;
    ASSERT_TRUE(peer.Configure(KeysFor(Suite80, 2, 1)));
    SrtpSession forger;
    ASSERT_TRUE(forger.Configure(KeysFor(Suite80, 9, 1)));
    ASSERT_TRUE(rig.line.SetKeys(session, KeysFor(Suite80, 1, 2)));
    RtpPeer named;
    rig.line.StartMedia("127.0.0.1", named.Port(), CodecSet::Pcmu, 0, true, true);
    DatagramBatch batch(MediaLine::MaxDatagramsPerRead, MediaEngine::MaxRtpDatagram);
    // Another port of the SDP's address may be latched onto, but not by plain packets
    // or packets under a key the call did not agree.
    RtpPeer stranger;
    for (std::uint16_t sequence = 1; sequence <= 2 * RtpSourceLatch::PacketsToLatch; ++sequence) {
        stranger.Send(rig.port, Packet(sequence));
        stranger.Send(rig.port, Copy(forger.Protect(Packet(sequence))));
    }
    rig.line.ReadOnBeat(false, batch);
    EXPECT_EQ(rig.line.InboundCodec(), -1);
    EXPECT_EQ(UdpSocket::PortOf(rig.line.SendDestination()), named.Port());
    EXPECT_EQ(session->TakeDiscards().authentication, 4u * RtpSourceLatch::PacketsToLatch);

    for (std::uint16_t sequence = 1; sequence <= RtpSourceLatch::PacketsToLatch; ++sequence)
        rig.peer.Send(rig.port, Copy(peer.Protect(Packet(sequence))));
    rig.line.ReadOnBeat(false, batch);
    EXPECT_EQ(rig.line.InboundCodec(), CodecSet::Pcmu);
    EXPECT_EQ(UdpSocket::PortOf(rig.line.SendDestination()), rig.peer.Port()) << "the key holder's port";
}

// An encrypted call's RTCP is SRTCP both ways: plain or forged reports change nothing.
TEST(SrtpSession, AnEncryptedCallsRtcpIsSrtcpBothWays)
{
    EncryptedCall call;
    LineRig& rig = call.rig;
    SrtpSession& peer = call.peer;
    rig.line.StartRtcp({"127.0.0.1", rig.peer.Port(), true});
    for (std::size_t block = 0; block < 2; ++block)
        rig.line.SendMicrophoneBlock(SineBlock(1000, block));
    auto sent = rig.peer.TakeDatagrams();
    ASSERT_EQ(sent.size(), 1u);
    std::span<const std::uint8_t> rtp(sent[0]);
    ASSERT_TRUE(peer.Unprotect(rtp));
    const std::uint32_t ours = RtpHeader::Parse(rtp)->ssrc;

    RtcpPacket::ReportBlock block;
    block.ssrc = ours;
    block.cumulativeLost = 9;
    std::array<std::uint8_t, RtcpPacket::MaxWrittenBytes> room{};
    const std::size_t length = RtcpPacket::Write({0x5EED, std::nullopt, block, "peer", false}, room);
    const std::span<const std::uint8_t> report(room.data(), length);
    const auto forged = [&] {
        auto bytes = Copy(peer.ProtectControl(report));
        bytes[12] ^= 1;
        return bytes;
    }();
    const auto genuine = Copy(peer.ProtectControl(report));
    ASSERT_EQ(genuine.size(), length + 4 + 10) << "the SRTCP index and an 80-bit tag";
    DatagramBatch batch(MediaLine::MaxDatagramsPerRead, MediaEngine::MaxRtpDatagram);
    rig.peer.Send(rig.port, report);
    rig.peer.Send(rig.port, forged);
    rig.line.ReadOnBeat(false, batch);
    EXPECT_EQ(rig.line.Statistics().peerLost, -1) << "neither plain nor forged RTCP counts";
    EXPECT_EQ(rig.line.RtcpRejected(), 2u);
    rig.peer.Send(rig.port, genuine);
    rig.peer.Send(rig.port, genuine);
    rig.line.ReadOnBeat(false, batch);
    EXPECT_EQ(rig.line.Statistics().peerLost, 9);
    EXPECT_EQ(rig.line.RtcpRejected(), 3u) << "a replay is dropped";

    // The report with the BYE at the end of the call leaves protected.
    rig.line.StopMedia(true, true);
    sent = rig.peer.TakeDatagrams();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_FALSE(RtcpPacket::Parse(sent[0])) << "nothing readable in clear";
    std::span<const std::uint8_t> bye(sent[0]);
    ASSERT_TRUE(peer.UnprotectControl(bye));
    const auto read = RtcpPacket::Parse(bye);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->senderSsrc, ours);
    EXPECT_TRUE(read->bye);
}
