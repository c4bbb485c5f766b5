#include "AudioTestSupport.h"
#include "LineTestSupport.h"
#include "media/MediaEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

namespace {

constexpr int PcmuPayloadType = 0;
constexpr int EventPayloadType = 101;

// Collects what reaches the peer while the loop runs, until `enough` holds (the
// peer's socket is not on the loop: the loop runs in short slices).
bool CollectUntil(MessageLoop& loop, RtpPeer& peer, std::vector<ArrivedPacket>& arrived,
                  const std::function<bool(const std::vector<ArrivedPacket>&)>& enough)
{
    for (int slice = 0; slice < 300; ++slice) {
        loop.RunFor(10);
        for (ArrivedPacket& packet : peer.Take())
            arrived.push_back(std::move(packet));
        if (enough(arrived))
            return true;
    }
    return false;
}

// Runs the loop in short slices until `done` holds: received RTP is read on the
// beat, which does not wake the loop.
bool WaitUntil(MessageLoop& loop, const std::function<bool()>& done)
{
    for (int slice = 0; slice < 200 && !done(); ++slice)
        loop.RunFor(10);
    return done();
}

std::size_t CountOfType(const std::vector<ArrivedPacket>& packets, int payloadType)
{
    return static_cast<std::size_t>(std::count_if(packets.begin(), packets.end(), [&](const ArrivedPacket& packet) {
        return packet.payloadType == payloadType;
    }));
}

// A digit goes out as eight telephone-event packets, one per beat; `whileSending`
// runs right after the digit was given.
void ExpectDigitSent(MessageLoop& loop, MediaEngine& engine, RtpPeer& peer,
                     const std::function<void()>& whileSending = [] {})
{
    peer.Take();
    ASSERT_TRUE(engine.SendDtmfEvent(0, EventPayloadType, 5));
    whileSending();
    std::vector<ArrivedPacket> arrived;
    EXPECT_TRUE(CollectUntil(loop, peer, arrived, [](const auto& packets) {
        return CountOfType(packets, EventPayloadType) == 8;
    }));
}

} // namespace

TEST(MediaEngine, TheLinesBeatWithTheMicrophoneOrTheirClockAndOnlyWhileALineHasMedia)
{
    ScopedEnvironment audio("ORVSIP_AUDIO", "virtual");
    MessageLoop loop;
    MediaEngine engine(loop);
    ASSERT_TRUE(engine.Start(2, true, nullptr));
    EXPECT_EQ(engine.CurrentBeat(), MediaEngine::Beat::None) << "nothing ticks without work";
    ASSERT_TRUE(engine.OpenLine(0, true, "127.0.0.1", FreeUdpPort()));
    ASSERT_TRUE(engine.OpenLine(1, true, "127.0.0.1", FreeUdpPort()));
    EXPECT_EQ(engine.CurrentBeat(), MediaEngine::Beat::None) << "open lines without a call";

    RtpPeer peer;
    ASSERT_TRUE(engine.StartMedia(0, "127.0.0.1", peer.Port(), CodecSet::Pcmu, PcmuPayloadType, true, true));
    EXPECT_EQ(engine.CurrentBeat(), MediaEngine::Beat::Clock) << "a call before its sound device opens";
    ExpectDigitSent(loop, engine, peer);

    ASSERT_TRUE(engine.AttachDevices(0, -1, -1));
    EXPECT_EQ(engine.CurrentBeat(), MediaEngine::Beat::Microphone);
    std::vector<ArrivedPacket> voice;
    ASSERT_TRUE(CollectUntil(loop, peer, voice, [](const auto& packets) { return packets.size() >= 10; }))
        << "the microphone's blocks go out";
    for (std::size_t at = 1; at < voice.size(); ++at) {
        EXPECT_EQ(voice[at].payloadType, PcmuPayloadType);
        EXPECT_EQ(voice[at].payload.size(), 160u) << "20 ms packets";
        EXPECT_EQ(static_cast<std::uint16_t>(voice[at].sequence - voice[at - 1].sequence), 1);
    }
    ExpectDigitSent(loop, engine, peer);

    ASSERT_TRUE(engine.DetachDevices(0));
    EXPECT_EQ(engine.CurrentBeat(), MediaEngine::Beat::Clock) << "the call goes on without the sound device";
    ASSERT_TRUE(engine.StopMedia(0, true, true));
    EXPECT_EQ(engine.CurrentBeat(), MediaEngine::Beat::None);

    ASSERT_TRUE(engine.StartMedia(1, "127.0.0.1", peer.Port(), CodecSet::Pcmu, PcmuPayloadType, false, true));
    EXPECT_EQ(engine.CurrentBeat(), MediaEngine::Beat::Clock) << "a line that only receives records on the beat";
    ASSERT_TRUE(engine.CloseLine(1));
    EXPECT_EQ(engine.CurrentBeat(), MediaEngine::Beat::None);
    engine.Stop();
    EXPECT_EQ(engine.CurrentBeat(), MediaEngine::Beat::None);
}

TEST(MediaEngine, ReceivedPacketsReachTheLineWhoseSocketTheyCameTo)
{
    MessageLoop loop;
    MediaEngine engine(loop);
    ASSERT_TRUE(engine.Start(3, false, nullptr));
    const int ports[2] = {FreeUdpPort(), FreeUdpPort()};
    ASSERT_TRUE(engine.OpenLine(2, true, "127.0.0.1", ports[0]));
    ASSERT_TRUE(engine.OpenLine(0, true, "127.0.0.1", ports[1]));
    RtpPeer peer;
    ASSERT_TRUE(engine.StartMedia(0, "127.0.0.1", peer.Port(), CodecSet::Pcmu, PcmuPayloadType, true, true));
    ASSERT_TRUE(engine.StartMedia(2, "127.0.0.1", peer.Port(), CodecSet::Gsm, 3, true, true));
    const std::vector<std::uint8_t> pcmu(160, 0xFF);
    const std::vector<std::uint8_t> gsm(33, 0xD0);
    for (std::uint16_t sequence = 0; sequence < 3; ++sequence) {
        peer.Send(ports[1], RtpHeader::Build(false, PcmuPayloadType, sequence, sequence * 160u, 7, pcmu));
        peer.Send(ports[0], RtpHeader::Build(false, 3, sequence, sequence * 160u, 8, gsm));
    }
    EXPECT_TRUE(WaitUntil(loop, [&] { return engine.GetInboundCodec(0) == CodecSet::Pcmu; }));
    EXPECT_TRUE(WaitUntil(loop, [&] { return engine.GetInboundCodec(2) == CodecSet::Gsm; }));
    // Read in the same batch as good ones: a datagram too large for the batch's room
    // and one too short for a header are dropped.
    std::vector<std::uint8_t> oversized = RtpHeader::Build(false, 8, 3, 480, 8, pcmu);
    oversized.resize(MediaEngine::MaxRtpDatagram + 100, 0xD5);
    peer.Send(ports[0], RtpHeader::Build(false, 3, 3, 480, 8, gsm));
    peer.Send(ports[0], oversized);
    peer.Send(ports[0], std::vector<std::uint8_t>{0x80, 8, 0, 4});
    loop.RunFor(50);
    EXPECT_EQ(engine.GetInboundCodec(2), CodecSet::Gsm);

    // A line opened again on another port reads there, and no longer on the old one.
    const int moved = FreeUdpPort();
    ASSERT_TRUE(engine.OpenLine(0, true, "127.0.0.1", moved));
    ASSERT_TRUE(engine.StartMedia(0, "127.0.0.1", peer.Port(), CodecSet::Pcmu, PcmuPayloadType, true, true));
    peer.Send(moved, RtpHeader::Build(false, 8, 5, 800, 7, pcmu));
    EXPECT_TRUE(WaitUntil(loop, [&] { return engine.GetInboundCodec(0) == CodecSet::Pcma; }));
}

TEST(MediaEngine, TheBeatWakesEvery20MsWhileEveryCallSends20MsPacketsAndEvery10MsOtherwise)
{
    MessageLoop loop;
    MediaEngine engine(loop);
    ASSERT_TRUE(engine.Start(2, false, nullptr));
    ASSERT_TRUE(engine.OpenLine(0, true, "127.0.0.1", FreeUdpPort()));
    ASSERT_TRUE(engine.OpenLine(1, true, "127.0.0.1", FreeUdpPort()));
    RtpPeer peer;
    ASSERT_TRUE(engine.StartMedia(0, "127.0.0.1", peer.Port(), CodecSet::Pcmu, PcmuPayloadType, true, true));
    EXPECT_EQ(engine.TicksPerWake(), 2);
    ASSERT_TRUE(engine.StartMedia(1, "127.0.0.1", peer.Port(), CodecSet::G729, 18, true, true));
    EXPECT_EQ(engine.TicksPerWake(), 1) << "G.729 sends every 10 ms";
    ASSERT_TRUE(engine.StartMedia(1, "127.0.0.1", peer.Port(), CodecSet::Ilbc, 98, true, true));
    EXPECT_EQ(engine.TicksPerWake(), 1) << "iLBC sends every 30 ms";
    ASSERT_TRUE(engine.StopMedia(1, true, true));
    EXPECT_EQ(engine.TicksPerWake(), 2) << "a line without media does not count";
    ASSERT_TRUE(engine.StartMedia(1, "127.0.0.1", peer.Port(), CodecSet::Gsm, 3, true, true));
    EXPECT_EQ(engine.TicksPerWake(), 2);

    // Two ticks per wake-up still make one packet per 20 ms of audio on each line,
    // in order, and a digit's eight event packets.
    std::vector<ArrivedPacket> arrived;
    ASSERT_TRUE(CollectUntil(loop, peer, arrived, [](const auto& packets) {
        return CountOfType(packets, PcmuPayloadType) >= 10 && CountOfType(packets, 3) >= 10;
    }));
    for (int payloadType : {PcmuPayloadType, 3}) {
        std::vector<ArrivedPacket> stream;
        std::copy_if(arrived.begin(), arrived.end(), std::back_inserter(stream),
                     [&](const ArrivedPacket& packet) { return packet.payloadType == payloadType; });
        for (std::size_t at = 1; at < stream.size(); ++at) {
            EXPECT_EQ(static_cast<std::uint16_t>(stream[at].sequence - stream[at - 1].sequence), 1);
            EXPECT_EQ(stream[at].timestamp - stream[at - 1].timestamp, 160u);
        }
    }

    // Telephone events keep one packet per 10 ms tick: the beat wakes every tick
    // until the digit is out, then every 20 ms again.
    ExpectDigitSent(loop, engine, peer, [&] { EXPECT_EQ(engine.TicksPerWake(), 1); });
    EXPECT_TRUE(WaitUntil(loop, [&] { return engine.TicksPerWake() == 2; }));
}
