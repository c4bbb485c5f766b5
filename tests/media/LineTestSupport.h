#pragma once

#include "ToneMeasure.h"
#include "media/CodecSet.h"
#include "media/MediaLine.h"
#include "media/RtpHeader.h"
#include "platform/MessageLoop.h"
#include "platform/MessageWindow.h"
#include "platform/UdpSocket.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

// A UDP port that nobody used a moment ago.
inline int FreeUdpPort()
{
    UdpSocket probe;
    probe.Open("127.0.0.1", 0);
    return probe.LocalPort();
}

// One RTP packet as it arrived at the peer.
struct ArrivedPacket {
    bool marker = false;
    int payloadType = 0;
    std::uint16_t sequence = 0;
    std::uint32_t timestamp = 0;
    std::vector<std::uint8_t> payload;
};

// A plain UDP socket on loopback standing for the far end of a call.
class RtpPeer {
public:
    RtpPeer() { socket_.Open("127.0.0.1", 0); }

    int Port() const { return socket_.LocalPort(); }
    // Every datagram that has arrived so far (loopback delivers at once).
    std::vector<std::vector<std::uint8_t>> TakeDatagrams()
    {
        std::vector<std::vector<std::uint8_t>> datagrams;
        char buffer[2048];
        for (auto datagram = socket_.Receive(buffer, sizeof buffer); datagram.length >= 0;
             datagram = socket_.Receive(buffer, sizeof buffer))
            datagrams.emplace_back(buffer, buffer + datagram.length);
        return datagrams;
    }
    std::vector<ArrivedPacket> Take()
    {
        std::vector<ArrivedPacket> packets;
        for (const auto& datagram : TakeDatagrams()) {
            if (auto header = RtpHeader::Parse(datagram))
                packets.push_back({header->marker, header->payloadType, header->sequence, header->timestamp,
                                   {header->payload.begin(), header->payload.end()}});
        }
        return packets;
    }
    void Send(int port, std::span<const std::uint8_t> datagram)
    {
        socket_.SendTo({reinterpret_cast<const char*>(datagram.data()), datagram.size()}, "127.0.0.1", port);
    }

private:
    UdpSocket socket_;
};

// A media line open on loopback, with its peer; the test drives its clock and
// microphone by hand.
class LineRig {
public:
    explicit LineRig(MediaEngineOwner* owner = nullptr, bool sendsSilence = false)
        : line(0, owner, sendsSilence), port(FreeUdpPort())
    {
        EXPECT_EQ(line.Open(true, "127.0.0.1", port, window), 0);
    }

    void StartCall(int codec, int payloadType, bool send = true)
    {
        line.StartMedia("127.0.0.1", peer.Port(), codec, payloadType, send, true);
    }

    MessageLoop loop;
    MessageWindow window{loop, "OrvRTPObjectWnd", nullptr};
    MediaLine line;
    RtpPeer peer;
    int port;
};

// Blocks of a sine, continuing from block to block.
inline MediaLine::Block SineBlock(double frequency, std::size_t index, double amplitude = 4000.0)
{
    MediaLine::Block block{};
    for (std::size_t n = 0; n < block.size(); ++n) {
        const double t = static_cast<double>(index * block.size() + n) / 8000.0;
        block[n] = static_cast<std::int16_t>(amplitude * std::sin(2 * std::numbers::pi * frequency * t));
    }
    return block;
}

// The PCM of a payload decoded with `codec`'s decoder of `codecs`.
inline std::vector<std::int16_t> Decode(CodecSet& codecs, int codec, const std::vector<std::uint8_t>& payload)
{
    VoiceCodec& decoder = *codecs.At(codec);
    std::vector<std::int16_t> pcm(decoder.DecodedSamples(payload.size()));
    std::size_t decoded = 0;
    EXPECT_EQ(decoder.Decode(payload, pcm, decoded), 0);
    pcm.resize(decoded);
    return pcm;
}
