#include "media/TelephoneEventReceiver.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

namespace {

using Payload = std::array<std::uint8_t, 4>;

Payload Start(std::uint8_t event)
{
    return {event, 0x0A, 0x00, 0x00};
}

Payload End(std::uint8_t event)
{
    return {event, 0x8A, 0x03, 0x20};
}

// The burst a sender makes of one key: three start packets with one sequence
// number, two continuation packets, three end packets with one further number.
// Returns what was reported, in order.
std::string ReceiveBurst(TelephoneEventReceiver& receiver, std::uint8_t event, std::uint16_t first)
{
    std::string reported;
    const auto receive = [&](std::uint16_t sequence, const Payload& payload) {
        if (const char digit = receiver.OnPacket(sequence, payload); digit != '\0')
            reported += digit;
    };
    for (int copy = 0; copy < 3; ++copy)
        receive(first, Start(event));
    receive(static_cast<std::uint16_t>(first + 1), Start(event));
    receive(static_cast<std::uint16_t>(first + 2), Start(event));
    for (int copy = 0; copy < 3; ++copy)
        receive(static_cast<std::uint16_t>(first + 3), End(event));
    return reported;
}

} // namespace

TEST(TelephoneEventReceiver, BurstOfOneKeyReportsItOnce)
{
    TelephoneEventReceiver receiver;
    EXPECT_EQ(receiver.OnPacket(100, Start(5)), '5');
    EXPECT_EQ(receiver.OnPacket(100, Start(5)), '\0');
    EXPECT_EQ(receiver.OnPacket(100, Start(5)), '\0');
    EXPECT_EQ(receiver.OnPacket(101, Start(5)), '\0');
    EXPECT_EQ(receiver.OnPacket(102, Start(5)), '\0');
    for (int copy = 0; copy < 3; ++copy)
        EXPECT_EQ(receiver.OnPacket(103, End(5)), '\0') << copy;
}

TEST(TelephoneEventReceiver, TwoKeysInARowReportBoth)
{
    TelephoneEventReceiver receiver;
    EXPECT_EQ(ReceiveBurst(receiver, 5, 100), "5");
    EXPECT_EQ(ReceiveBurst(receiver, 11, 104), "#");
}

TEST(TelephoneEventReceiver, EventCodesMapToTheirCharacters)
{
    TelephoneEventReceiver receiver;
    const std::string characters = "0123456789*#ABCDE";
    std::uint16_t sequence = 1;
    for (std::size_t event = 0; event < characters.size(); ++event) {
        EXPECT_EQ(ReceiveBurst(receiver, static_cast<std::uint8_t>(event), sequence), characters.substr(event, 1));
        sequence = static_cast<std::uint16_t>(sequence + 4);
    }
}

TEST(TelephoneEventReceiver, CodeSeventeenConsumesTheArmedStateAndReportsNothing)
{
    TelephoneEventReceiver receiver;
    EXPECT_EQ(receiver.OnPacket(10, Start(17)), '\0');
    EXPECT_EQ(receiver.OnPacket(11, Start(5)), '\0') << "disarmed until an end packet";
    EXPECT_EQ(receiver.OnPacket(12, End(17)), '\0');
    EXPECT_EQ(receiver.OnPacket(13, Start(5)), '5');
}

TEST(TelephoneEventReceiver, PayloadShorterThanTwoBytesIsIgnored)
{
    TelephoneEventReceiver receiver;
    const std::array<std::uint8_t, 1> oneByte = {5};
    EXPECT_EQ(receiver.OnPacket(10, oneByte), '\0');
    EXPECT_EQ(receiver.OnPacket(11, std::span<const std::uint8_t>()), '\0');
    EXPECT_EQ(receiver.OnPacket(12, Start(7)), '7') << "still armed";
    const std::array<std::uint8_t, 2> twoBytes = {7, 0x8A};
    EXPECT_EQ(receiver.OnPacket(13, twoBytes), '\0');
    EXPECT_EQ(receiver.OnPacket(14, Start(8)), '8') << "two bytes carry the end bit";
}

TEST(TelephoneEventReceiver, NumbersBeforeTheLastEndAreIgnoredUntilRearmed)
{
    TelephoneEventReceiver receiver;
    EXPECT_EQ(ReceiveBurst(receiver, 5, 1000), "5");
    EXPECT_EQ(receiver.OnPacket(990, Start(6)), '\0');
    EXPECT_EQ(receiver.OnPacket(990, End(6)), '\0');
    EXPECT_EQ(receiver.OnPacket(1004, Start(6)), '6') << "the late end did not re-arm";
    receiver.Rearm();
    EXPECT_EQ(receiver.OnPacket(990, Start(7)), '7');
}

TEST(TelephoneEventReceiver, RearmEndsAnEventInProgress)
{
    TelephoneEventReceiver receiver;
    EXPECT_EQ(receiver.OnPacket(10, Start(1)), '1');
    EXPECT_EQ(receiver.OnPacket(11, Start(2)), '\0');
    receiver.Rearm();
    EXPECT_EQ(receiver.OnPacket(11, Start(2)), '2');
}

TEST(TelephoneEventReceiver, KeysKeepComingAfterTheSequenceNumberWraps)
{
    TelephoneEventReceiver receiver;
    EXPECT_EQ(ReceiveBurst(receiver, 1, 65530), "1");
    EXPECT_EQ(ReceiveBurst(receiver, 2, 65534), "2");
    EXPECT_EQ(ReceiveBurst(receiver, 3, 2), "3");
    EXPECT_EQ(receiver.OnPacket(65533, Start(4)), '\0') << "before the last end, across the wrap";
}
