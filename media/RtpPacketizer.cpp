#include "media/RtpPacketizer.h"

#include "media/RtpHeader.h"

#include <random>

namespace {

// Each line draws its own stream identity, so two lines made in the same
// millisecond never share an SSRC.
std::uint32_t Draw()
{
    static thread_local std::mt19937 generator{std::random_device{}()};
    return static_cast<std::uint32_t>(generator());
}

} // namespace

RtpPacketizer::RtpPacketizer()
    : ssrc_(Draw()), sequence_(static_cast<std::uint16_t>(Draw())), audioTimestamp_(Draw()),
      eventTimestamp_(audioTimestamp_)
{
}

int RtpPacketizer::PayloadDurationMs(int codec, std::size_t payloadBytes)
{
    int bytes = static_cast<int>(payloadBytes);
    switch (codec) {
    case 0: return bytes / 33 * 20;
    case 1: return bytes / 50 * 30;
    case 2:
    case 3: return bytes / 8;
    case 4: return bytes / 10 * 10;
    default: return 0;
    }
}

std::span<const std::uint8_t> RtpPacketizer::AudioPacket(int codec, std::uint8_t payloadType,
                                                         std::span<const std::uint8_t> payload)
{
    const std::size_t length =
        RtpHeader::Write(markerPending_, payloadType, sequence_, audioTimestamp_, ssrc_, payload, packet_);
    if (length == 0)
        return {};
    ++sequence_;
    markerPending_ = false;
    audioTimestamp_ += static_cast<std::uint32_t>(8 * PayloadDurationMs(codec, payload.size()));
    eventTimestamp_ = audioTimestamp_;
    return std::span(packet_.data(), length);
}

std::span<const std::uint8_t> RtpPacketizer::EventPacket(bool marker, std::uint8_t payloadType,
                                                         std::span<const std::uint8_t> payload)
{
    const std::size_t length = RtpHeader::Write(marker, payloadType, sequence_, eventTimestamp_, ssrc_, payload, packet_);
    return std::span(packet_.data(), length);
}

std::span<const std::uint8_t> RtpPacketizer::KeepAlivePacket(std::uint8_t payloadType)
{
    const std::size_t length = RtpHeader::Write(false, payloadType, sequence_, audioTimestamp_, ssrc_, {}, packet_);
    ++sequence_;
    return std::span(packet_.data(), length);
}

void RtpPacketizer::FinishEvent()
{
    audioTimestamp_ = eventTimestamp_ + 2880;
    eventTimestamp_ += 960;
    ++sequence_;
}
