#include "media/RtpHeader.h"
#include "media/RtpPacketizer.h"
#include "media/TelephoneEventSender.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <set>
#include <vector>

namespace {

std::vector<std::uint8_t> Packet(std::uint8_t first, std::size_t payload, std::uint8_t last = 0)
{
    std::vector<std::uint8_t> bytes(12 + payload, 0);
    bytes[0] = first;
    bytes[1] = 0;
    if (payload > 0)
        bytes.back() = last;
    return bytes;
}

} // namespace

TEST(RtpHeader, ParsesTheFieldsAndThePayload)
{
    std::vector<std::uint8_t> payload = {1, 2, 3, 4, 5};
    auto bytes = RtpHeader::Build(true, 18, 0xBEEF, 0x01020304, 0xCAFEF00D, payload);
    ASSERT_EQ(bytes.size(), 17u);
    EXPECT_EQ(bytes[0], 0x80);
    EXPECT_EQ(bytes[1], 0x80 | 18);
    auto header = RtpHeader::Parse(bytes);
    ASSERT_TRUE(header);
    EXPECT_TRUE(header->marker);
    EXPECT_EQ(header->payloadType, 18);
    EXPECT_EQ(header->sequence, 0xBEEF);
    EXPECT_EQ(header->timestamp, 0x01020304u);
    EXPECT_EQ(header->ssrc, 0xCAFEF00Du);
    EXPECT_EQ(std::vector<std::uint8_t>(header->payload.begin(), header->payload.end()), payload);
}

TEST(RtpHeader, DropsWhatIsNotPlainVersion2)
{
    EXPECT_FALSE(RtpHeader::Parse(std::vector<std::uint8_t>(11, 0x80))) << "shorter than a header";
    EXPECT_FALSE(RtpHeader::Parse(Packet(0x90, 20))) << "extension bit";
    EXPECT_FALSE(RtpHeader::Parse(Packet(0xC0, 20))) << "version 3";
    EXPECT_FALSE(RtpHeader::Parse(Packet(0x40, 20))) << "version 1";
    EXPECT_FALSE(RtpHeader::Parse(Packet(0xA0, 4, 9))) << "padding longer than the payload";
    EXPECT_FALSE(RtpHeader::Parse(Packet(0x83, 8))) << "CSRC list beyond the datagram";
    auto padded = RtpHeader::Parse(Packet(0xA0, 10, 4));
    ASSERT_TRUE(padded);
    EXPECT_EQ(padded->payload.size(), 6u);
    auto withCsrc = RtpHeader::Parse(Packet(0x81, 10));
    ASSERT_TRUE(withCsrc);
    EXPECT_EQ(withCsrc->payload.size(), 6u);
    auto empty = RtpHeader::Parse(Packet(0x80, 0));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->payload.empty());
}

TEST(RtpHeader, RandomDatagramsNeverReadOutOfBounds)
{
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        std::vector<std::uint8_t> bytes(random() % 64);
        for (auto& byte : bytes)
            byte = static_cast<std::uint8_t>(random());
        if (auto header = RtpHeader::Parse(bytes)) {
            ASSERT_GE(header->payload.data(), bytes.data() + 12);
            ASSERT_LE(header->payload.data() + header->payload.size(), bytes.data() + bytes.size());
        }
    }
}

TEST(RtpPacketizer, MarkerOnlyOnTheFirstPacketAndTimestampsByDuration)
{
    RtpPacketizer packetizer;
    std::uint16_t sequence = packetizer.Sequence();
    std::uint32_t timestamp = packetizer.AudioTimestamp();
    std::vector<std::uint8_t> g711(160);
    auto first = RtpHeader::Parse(packetizer.AudioPacket(3, 0, g711));
    auto second = RtpHeader::Parse(packetizer.AudioPacket(3, 0, g711));
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first->marker);
    EXPECT_FALSE(second->marker);
    EXPECT_EQ(first->sequence, sequence);
    EXPECT_EQ(second->sequence, static_cast<std::uint16_t>(sequence + 1));
    EXPECT_EQ(second->timestamp, timestamp + 160);
    EXPECT_EQ(first->ssrc, second->ssrc);
    std::vector<std::uint8_t> gsm(33);
    packetizer.AudioPacket(0, 3, gsm);
    EXPECT_EQ(packetizer.AudioTimestamp(), timestamp + 480);
    std::vector<std::uint8_t> g729(10);
    packetizer.AudioPacket(4, 18, g729);
    EXPECT_EQ(packetizer.AudioTimestamp(), timestamp + 560);
}

TEST(RtpPacketizer, APayloadBeyondItsRoomGivesNoPacketAndMovesNothing)
{
    RtpPacketizer packetizer;
    const std::uint16_t sequence = packetizer.Sequence();
    const std::uint32_t timestamp = packetizer.AudioTimestamp();
    EXPECT_TRUE(packetizer.AudioPacket(3, 0, std::vector<std::uint8_t>(RtpPacketizer::MaxPayloadBytes + 1)).empty());
    EXPECT_EQ(packetizer.Sequence(), sequence);
    EXPECT_EQ(packetizer.AudioTimestamp(), timestamp);
    const auto largest = packetizer.AudioPacket(3, 0, std::vector<std::uint8_t>(RtpPacketizer::MaxPayloadBytes, 7));
    ASSERT_EQ(largest.size(), RtpHeader::Size + RtpPacketizer::MaxPayloadBytes);
    EXPECT_EQ(largest.back(), 7);
    std::array<std::uint8_t, RtpHeader::Size + 3> small{};
    EXPECT_EQ(RtpHeader::Write(false, 0, 1, 2, 3, std::vector<std::uint8_t>(4), small), 0u);
    EXPECT_EQ(RtpHeader::Write(false, 0, 1, 2, 3, std::vector<std::uint8_t>(3, 9), small), small.size());
    EXPECT_EQ(small.back(), 9);
}

TEST(RtpPacketizer, DurationsPerCodec)
{
    EXPECT_EQ(RtpPacketizer::PayloadDurationMs(0, 33), 20);
    EXPECT_EQ(RtpPacketizer::PayloadDurationMs(0, 66), 40);
    EXPECT_EQ(RtpPacketizer::PayloadDurationMs(1, 50), 30);
    EXPECT_EQ(RtpPacketizer::PayloadDurationMs(2, 160), 20);
    EXPECT_EQ(RtpPacketizer::PayloadDurationMs(3, 80), 10);
    EXPECT_EQ(RtpPacketizer::PayloadDurationMs(4, 20), 20);
    EXPECT_EQ(RtpPacketizer::PayloadDurationMs(9, 100), 0);
}

TEST(RtpPacketizer, LinesDrawDifferentStreams)
{
    std::set<std::uint32_t> ssrcs;
    for (int i = 0; i < 20; ++i)
        ssrcs.insert(RtpPacketizer().Ssrc());
    EXPECT_GT(ssrcs.size(), 18u);
}

TEST(TelephoneEventSender, OneDigitIsEightPacketsOnFourSequenceNumbers)
{
    TelephoneEventSender sender;
    RtpPacketizer packetizer;
    packetizer.AudioPacket(3, 0, std::vector<std::uint8_t>(160));
    std::uint16_t sequence = packetizer.Sequence();
    std::uint32_t timestamp = packetizer.EventTimestamp();
    sender.QueueDigit(5, 101);
    std::vector<RtpHeader> packets;
    std::vector<std::vector<std::uint8_t>> storage;
    TelephoneEventSender::Record record;
    while (sender.Take(record)) {
        auto payload = record.Payload();
        const auto packet = packetizer.EventPacket(record.marker, record.payloadType, payload);
        storage.emplace_back(packet.begin(), packet.end());
        if (record.advanceSequence)
            packetizer.AdvanceSequence();
        if (record.last)
            packetizer.FinishEvent();
    }
    ASSERT_EQ(storage.size(), 8u);
    std::set<std::uint16_t> sequences;
    for (std::size_t at = 0; at < storage.size(); ++at) {
        auto header = RtpHeader::Parse(storage[at]);
        ASSERT_TRUE(header);
        EXPECT_EQ(header->payloadType, 101);
        EXPECT_EQ(header->timestamp, timestamp);
        EXPECT_EQ(header->marker, at < 3);
        std::vector<std::uint8_t> expected = at < 5 ? std::vector<std::uint8_t>{5, 0x0A, 0, 0}
                                                    : std::vector<std::uint8_t>{5, 0x8A, 0x03, 0x20};
        EXPECT_EQ(std::vector<std::uint8_t>(header->payload.begin(), header->payload.end()), expected);
        sequences.insert(header->sequence);
    }
    EXPECT_EQ(sequences, (std::set<std::uint16_t>{sequence, static_cast<std::uint16_t>(sequence + 1),
                                                  static_cast<std::uint16_t>(sequence + 2),
                                                  static_cast<std::uint16_t>(sequence + 3)}));
    EXPECT_EQ(packetizer.Sequence(), static_cast<std::uint16_t>(sequence + 4));
    EXPECT_EQ(packetizer.AudioTimestamp(), timestamp + 2880);
    EXPECT_TRUE(sender.Empty());
}
