#include "LineTestSupport.h"
#include "media/DtmfTone.h"
#include "media/MediaEngine.h"
#include "platform/DatagramBatch.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr int G729PayloadType = 18;
constexpr int PcmuPayloadType = 0;
constexpr int EventPayloadType = 101;
constexpr int DigitFive = 5;

// One 10 ms round of a call: the media clock ticks, then the microphone block comes.
void Round(LineRig& rig, const MediaLine::Block& microphone)
{
    rig.line.SendTick();
    rig.line.SendMicrophoneBlock(microphone);
}

// `count` PCMU packets of silence in a run of sequence numbers.
void SendPcmuRun(RtpPeer& peer, int port, int count)
{
    const std::vector<std::uint8_t> payload(160, 0xFF);
    for (int sequence = 0; sequence < count; ++sequence)
        peer.Send(port, RtpHeader::Build(false, PcmuPayloadType, static_cast<std::uint16_t>(sequence),
                                         static_cast<std::uint32_t>(sequence) * 160, 1, payload));
}

int CountOfType(const std::vector<ArrivedPacket>& packets, int payloadType)
{
    return static_cast<int>(std::count_if(packets.begin(), packets.end(),
                                          [&](const ArrivedPacket& packet) { return packet.payloadType == payloadType; }));
}

} // namespace

TEST(MediaLine, ForcedInbandToneOnAG729CallGoesOutWholeAsPcmuAndTheMicrophoneAfterItIsIntact)
{
    LineRig rig;
    rig.StartCall(CodecSet::G729, G729PayloadType);
    std::size_t block = 0;
    for (; block < 10; ++block)
        Round(rig, SineBlock(440, block));
    ASSERT_TRUE(rig.line.QueueInbandTone(DigitFive));
    for (; block < 40; ++block)
        Round(rig, SineBlock(440, block));
    const auto packets = rig.peer.Take();

    const auto firstTone = std::find_if(packets.begin(), packets.end(),
                                        [](const ArrivedPacket& packet) { return packet.payloadType == PcmuPayloadType; });
    ASSERT_NE(firstTone, packets.end());
    const auto afterTone = std::find_if(firstTone, packets.end(),
                                        [](const ArrivedPacket& packet) { return packet.payloadType != PcmuPayloadType; });
    EXPECT_EQ(CountOfType({afterTone, packets.end()}, PcmuPayloadType), 0) << "one tone, in one run";

    // The whole 120 ms tone, as 20 ms PCMU packets.
    CodecSet receiver;
    std::vector<std::int16_t> tone;
    for (auto packet = firstTone; packet != afterTone; ++packet) {
        EXPECT_EQ(packet->payload.size(), 160u);
        const auto pcm = Decode(receiver, CodecSet::Pcmu, packet->payload);
        tone.insert(tone.end(), pcm.begin(), pcm.end());
    }
    const auto expected = DtmfTone::Generate(DigitFive, 960);
    ASSERT_EQ(tone.size(), expected.size());
    for (std::size_t n = 0; n < tone.size(); ++n)
        ASSERT_NEAR(tone[n], expected[n], std::abs(expected[n]) / 16 + 64) << n;

    // Every G.729 packet carries microphone audio only, and the microphone resumes
    // right after the tone: 10 + 30 blocks less the 12 the tone took.
    for (auto packet = packets.begin(); packet != packets.end(); ++packet) {
        if (packet->payloadType != G729PayloadType)
            continue;
        const auto pcm = Decode(receiver, CodecSet::G729, packet->payload);
        EXPECT_LT(ToneEnergy(pcm, 1336) + ToneEnergy(pcm, 770), ToneEnergy(pcm, 440) / 5)
            << "packet " << (packet - packets.begin());
    }
    EXPECT_EQ(CountOfType(packets, G729PayloadType), 40 - 12);
}

TEST(MediaLine, ADigitPressedWhileTheCallIsHeldIsNotSentLater)
{
    LineRig rig;
    // The peer holds the call: its offer was send-only, so this side does not send.
    rig.StartCall(CodecSet::Pcmu, PcmuPayloadType, false);
    EXPECT_FALSE(rig.line.QueueTelephoneEvent(DigitFive, EventPayloadType));
    EXPECT_FALSE(rig.line.QueueInbandTone(DigitFive));
    rig.StartCall(CodecSet::Pcmu, PcmuPayloadType, true);
    for (std::size_t block = 0; block < 20; ++block)
        Round(rig, SineBlock(440, block));
    auto packets = rig.peer.Take();
    EXPECT_EQ(CountOfType(packets, EventPayloadType), 0);
    EXPECT_EQ(CountOfType(packets, PcmuPayloadType), 10) << "the microphone is not muted for a digit";

    // This side holds the call in the middle of a digit: the rest is not sent on resume.
    ASSERT_TRUE(rig.line.QueueTelephoneEvent(DigitFive, EventPayloadType));
    rig.line.SendTick();
    rig.line.SendTick();
    rig.line.SetHold(true);
    EXPECT_FALSE(rig.line.QueueTelephoneEvent(DigitFive, EventPayloadType));
    EXPECT_FALSE(rig.line.QueueInbandTone(DigitFive));
    rig.line.SetHold(false);
    for (std::size_t block = 0; block < 20; ++block)
        Round(rig, SineBlock(440, block));
    packets = rig.peer.Take();
    EXPECT_EQ(CountOfType(packets, EventPayloadType), 2);
    EXPECT_EQ(CountOfType(packets, PcmuPayloadType), 10);
}

TEST(MediaLine, WithoutASoundDeviceACallSendsSilenceInItsCodecsFramingWhenItHasNothingElseToSend)
{
    LineRig rig(nullptr, true);
    auto ticks = [&rig](int count) {
        for (int tick = 0; tick < count; ++tick)
            rig.line.SendTick();
        return rig.peer.Take();
    };
    rig.StartCall(CodecSet::Pcmu, PcmuPayloadType);
    auto packets = ticks(100);
    ASSERT_EQ(packets.size(), 50u) << "one 20 ms packet every other tick";
    for (std::size_t at = 0; at < packets.size(); ++at) {
        EXPECT_EQ(packets[at].payloadType, PcmuPayloadType);
        EXPECT_EQ(packets[at].payload, std::vector<std::uint8_t>(160, 0xFF)) << "mu-law silence";
        EXPECT_EQ(packets[at].sequence, static_cast<std::uint16_t>(packets[0].sequence + at));
        EXPECT_EQ(packets[at].timestamp, packets[0].timestamp + 160 * at);
    }

    rig.StartCall(CodecSet::G729, G729PayloadType);
    packets = ticks(10);
    ASSERT_EQ(packets.size(), 10u);
    CodecSet receiver;
    for (const auto& packet : packets) {
        EXPECT_EQ(packet.payload.size(), 10u);
        for (std::int16_t sample : Decode(receiver, CodecSet::G729, packet.payload))
            ASSERT_LE(std::abs(sample), 64);
    }
    rig.StartCall(CodecSet::Gsm, 3);
    packets = ticks(10);
    ASSERT_EQ(packets.size(), 5u);
    EXPECT_EQ(packets[0].payload.size(), 33u);

    // Nothing while either side holds the call.
    rig.line.SetHold(true);
    EXPECT_TRUE(ticks(20).empty());
    rig.line.SetHold(false);
    rig.StartCall(CodecSet::Pcmu, PcmuPayloadType, false);
    EXPECT_TRUE(ticks(20).empty());

    // Nothing in the quiet period after a telephone event.
    rig.StartCall(CodecSet::Pcmu, PcmuPayloadType);
    ASSERT_TRUE(rig.line.QueueTelephoneEvent(DigitFive, EventPayloadType));
    packets = ticks(8 + 54);
    EXPECT_EQ(packets.size(), 8u);
    EXPECT_EQ(CountOfType(packets, EventPayloadType), 8);
    EXPECT_EQ(CountOfType(ticks(10), PcmuPayloadType), 5);

    rig.line.Close();
    EXPECT_TRUE(ticks(10).empty());
}

TEST(MediaLine, ThePeersPacketTimeIsSentInWholeFramesOfTheCodec)
{
    LineRig rig(nullptr, true);
    const struct {
        int codec;
        int payloadType;
        int peerPacketTimeMs; // the peer's a=ptime, 0 for none
        int sentPacketMs;
        std::size_t payloadBytes;
    } cases[] = {
        {CodecSet::G729, G729PayloadType, 20, 20, 20}, {CodecSet::G729, G729PayloadType, 0, 10, 10},
        {CodecSet::Pcmu, PcmuPayloadType, 30, 30, 240}, {CodecSet::Pcmu, PcmuPayloadType, 10, 10, 80},
        {CodecSet::Pcmu, PcmuPayloadType, 25, 20, 160}, {CodecSet::Pcmu, PcmuPayloadType, 1000, 60, 480},
        {CodecSet::Pcmu, PcmuPayloadType, 5, 20, 160},  {CodecSet::Gsm, 3, 40, 40, 66},
        {CodecSet::Gsm, 3, 30, 20, 33},
    };
    for (const auto& c : cases) {
        rig.line.StartMedia("127.0.0.1", rig.peer.Port(), c.codec, c.payloadType, true, true, c.peerPacketTimeMs);
        for (int tick = 0; tick < 120; ++tick)
            rig.line.SendTick();
        const auto packets = rig.peer.Take();
        EXPECT_EQ(packets.size(), static_cast<std::size_t>(1200 / c.sentPacketMs)) << c.codec << " " << c.peerPacketTimeMs;
        for (const auto& packet : packets)
            EXPECT_EQ(packet.payload.size(), c.payloadBytes) << c.codec << " " << c.peerPacketTimeMs;
        EXPECT_EQ(rig.line.BlocksPerPacket(), c.sentPacketMs / 10);
    }
}

TEST(MediaLine, WithASoundDeviceOnlyTheMicrophoneIsSent)
{
    LineRig rig;
    rig.StartCall(CodecSet::Pcmu, PcmuPayloadType);
    for (int tick = 0; tick < 20; ++tick)
        rig.line.SendTick();
    EXPECT_TRUE(rig.peer.Take().empty());
}

TEST(MediaEngine, ALineWithoutMediaIsReadByTheLoopInBoundedBatches)
{
    MessageLoop loop;
    MediaEngine engine(loop);
    ASSERT_TRUE(engine.Start(1, false, nullptr));
    const int port = FreeUdpPort();
    ASSERT_TRUE(engine.OpenLine(0, true, "127.0.0.1", port));
    RtpPeer peer;
    SendPcmuRun(peer, port, 3 * MediaLine::MaxDatagramsPerRead + 4);
    // Each round of the loop reads one batch and lets everything else run between.
    std::vector<int> deliveries;
    for (int round = 0; round < 5; ++round)
        deliveries.push_back(loop.Dispatch());
    EXPECT_EQ(deliveries, (std::vector<int>{1, 1, 1, 1, 0}));
    EXPECT_EQ(engine.GetInboundCodec(0), -1) << "nothing is taken without media";
}

TEST(MediaLine, WithMediaTheBeatReadsTheSocketInBoundedBatchesAndTheLoopNoLonger)
{
    LineRig rig;
    rig.StartCall(CodecSet::Pcmu, PcmuPayloadType);
    SendPcmuRun(rig.peer, rig.port, 3 * MediaLine::MaxDatagramsPerRead + 4);
    EXPECT_EQ(rig.loop.Dispatch(), 0) << "a call's packets do not wake the loop";
    DatagramBatch batch(MediaLine::MaxDatagramsPerRead, MediaEngine::MaxRtpDatagram);
    std::vector<int> reads;
    for (int beat = 0; beat < 5; ++beat)
        reads.push_back(rig.line.ReadOnBeat(false, batch));
    const int full = MediaLine::MaxDatagramsPerRead;
    EXPECT_EQ(reads, (std::vector<int>{full, full, full, 4, 0}));
    EXPECT_EQ(rig.line.InboundCodec(), CodecSet::Pcmu);

    rig.line.StopMedia(true, true);
    SendPcmuRun(rig.peer, rig.port, 1);
    EXPECT_EQ(rig.line.ReadOnBeat(false, batch), 0) << "without media the socket is the loop's";
    EXPECT_EQ(rig.loop.Dispatch(), 1) << "the loop watches the socket again";
    rig.line.StartMedia("127.0.0.1", rig.peer.Port(), CodecSet::Pcmu, PcmuPayloadType, false, true);
    EXPECT_EQ(rig.loop.Dispatch(), 0);
    EXPECT_EQ(rig.line.ReadOnBeat(false, batch), 1) << "what waited is read on the beat";
}

TEST(MediaLine, RtpFromAnotherSourceIsNeverTakenAndNeverChangesWhereTheLineSends)
{
    LineRig rig;
    rig.StartCall(CodecSet::Pcmu, PcmuPayloadType);
    DatagramBatch batch(MediaLine::MaxDatagramsPerRead, MediaEngine::MaxRtpDatagram);
    SendPcmuRun(rig.peer, rig.port, 3);
    EXPECT_EQ(rig.line.ReadOnBeat(false, batch), 3);
    // Another address sends what the peer would: its SSRC, its next sequence numbers,
    // a payload type of the call (PCMA here, to tell its packets apart).
    RtpPeer stranger;
    const std::vector<std::uint8_t> payload(160, 0xD5);
    for (std::uint16_t sequence = 3; sequence < 20; ++sequence)
        stranger.Send(rig.port, RtpHeader::Build(false, 8, sequence, sequence * 160u, 1, payload));
    EXPECT_EQ(rig.line.ReadOnBeat(false, batch), 17);
    EXPECT_EQ(rig.line.InboundCodec(), CodecSet::Pcmu) << "no forged packet was decoded";
    EXPECT_EQ(rig.line.ForeignPacketsDropped(), 17u);
    rig.peer.Take();
    for (std::size_t block = 0; block < 8; ++block)
        Round(rig, SineBlock(440, block));
    EXPECT_EQ(rig.peer.Take().size(), 4u);
    EXPECT_TRUE(stranger.Take().empty());
    NetworkEndpoint peer;
    ASSERT_TRUE(UdpSocket::ParseEndpoint("127.0.0.1", rig.peer.Port(), peer));
    EXPECT_EQ(rig.line.SendDestination(), peer);
}

TEST(MediaLine, APeerSendingFromAnotherPortThanItsSdpNamesIsLatchedOntoUntilTheMediaMoves)
{
    LineRig rig;
    RtpPeer named;
    DatagramBatch batch(MediaLine::MaxDatagramsPerRead, MediaEngine::MaxRtpDatagram);
    rig.line.StartMedia("127.0.0.1", named.Port(), CodecSet::Pcmu, PcmuPayloadType, true, true);
    SendPcmuRun(rig.peer, rig.port, RtpSourceLatch::PacketsToLatch - 1);
    rig.line.ReadOnBeat(false, batch);
    EXPECT_EQ(rig.line.InboundCodec(), -1) << "not yet latched";
    Round(rig, SineBlock(440, 0));
    Round(rig, SineBlock(440, 1));
    EXPECT_EQ(named.Take().size(), 1u) << "until then the SDP's address gets the audio";
    SendPcmuRun(rig.peer, rig.port, 1);
    rig.line.ReadOnBeat(false, batch);
    EXPECT_EQ(rig.line.InboundCodec(), CodecSet::Pcmu);
    Round(rig, SineBlock(440, 2));
    Round(rig, SineBlock(440, 3));
    EXPECT_EQ(rig.peer.Take().size(), 1u) << "symmetric RTP: the audio goes where the peer's comes from";
    EXPECT_TRUE(named.Take().empty());

    // Hold and resume name the same address: the latch stays.
    rig.line.StartMedia("0.0.0.0", named.Port(), CodecSet::Pcmu, PcmuPayloadType, false, true);
    rig.line.StartMedia("127.0.0.1", named.Port(), CodecSet::Pcmu, PcmuPayloadType, true, true);
    SendPcmuRun(rig.peer, rig.port, 1);
    rig.line.ReadOnBeat(false, batch);
    EXPECT_EQ(rig.line.ForeignPacketsDropped(), 2u);
    // Media moved elsewhere: latching opens again.
    RtpPeer moved;
    rig.line.StartMedia("127.0.0.1", moved.Port(), CodecSet::Pcmu, PcmuPayloadType, true, true);
    SendPcmuRun(rig.peer, rig.port, 1);
    rig.line.ReadOnBeat(false, batch);
    EXPECT_EQ(rig.line.ForeignPacketsDropped(), 3u);
    EXPECT_EQ(UdpSocket::PortOf(rig.line.SendDestination()), moved.Port());
}

TEST(MediaLine, AHeldCallSendsAnEmptyPacketOfItsPayloadTypeEveryFifteenSeconds)
{
    LineRig rig(nullptr, true);
    rig.StartCall(CodecSet::Pcmu, PcmuPayloadType);
    for (int tick = 0; tick < 4; ++tick)
        rig.line.SendTick();
    const auto before = rig.peer.Take();
    ASSERT_EQ(before.size(), 2u);
    auto keepAlivesAfter = [&](int ticks) {
        for (int tick = 0; tick < ticks; ++tick)
            rig.line.SendTick();
        return rig.peer.Take();
    };
    rig.line.SetHold(true);
    EXPECT_TRUE(keepAlivesAfter(MediaLine::KeepAliveTicks - 1).empty());
    const auto first = keepAlivesAfter(1);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].payloadType, PcmuPayloadType);
    EXPECT_TRUE(first[0].payload.empty());
    EXPECT_EQ(first[0].sequence, static_cast<std::uint16_t>(before.back().sequence + 1));
    EXPECT_EQ(keepAlivesAfter(MediaLine::KeepAliveTicks).size(), 1u);

    // Held by the peer (nothing to send): the same.
    rig.line.SetHold(false);
    rig.line.StartMedia("127.0.0.1", rig.peer.Port(), CodecSet::Pcmu, PcmuPayloadType, false, true);
    EXPECT_EQ(keepAlivesAfter(MediaLine::KeepAliveTicks).size(), 1u);
    rig.line.StopMedia(true, true);
    EXPECT_TRUE(keepAlivesAfter(2 * MediaLine::KeepAliveTicks).empty()) << "no call, nothing";
}
