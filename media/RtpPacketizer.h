#pragma once

#include "media/RtpHeader.h"

#include <array>
#include <cstdint>
#include <span>

// The outgoing RTP stream state of one line: SSRC, sequence number and the audio
// and event timestamps. Made once per line and never reset, so the stream runs on
// across calls. A packet is built in the packetizer's own buffer and stays valid
// until the next one.
class RtpPacketizer {
public:
    static constexpr std::size_t MaxPayloadBytes = 1024;

    RtpPacketizer();

    // An audio packet; the timestamp then advances by the payload's duration. Empty,
    // and nothing advances, for a payload beyond MaxPayloadBytes.
    std::span<const std::uint8_t> AudioPacket(int codec, std::uint8_t payloadType,
                                              std::span<const std::uint8_t> payload);
    // A telephone-event packet at the event timestamp.
    std::span<const std::uint8_t> EventPacket(bool marker, std::uint8_t payloadType,
                                              std::span<const std::uint8_t> payload);
    // A packet of the audio stream without payload (it keeps NAT bindings open): it
    // takes a sequence number, the timestamp stays.
    std::span<const std::uint8_t> KeepAlivePacket(std::uint8_t payloadType);
    void AdvanceSequence() { ++sequence_; }
    // After the last packet of an event burst.
    void FinishEvent();

    // Milliseconds of audio in a payload of the codec (0 for an unknown codec).
    static int PayloadDurationMs(int codec, std::size_t payloadBytes);

    std::uint32_t Ssrc() const { return ssrc_; }
    std::uint16_t Sequence() const { return sequence_; }
    std::uint32_t AudioTimestamp() const { return audioTimestamp_; }
    std::uint32_t EventTimestamp() const { return eventTimestamp_; }

private:
    std::uint32_t ssrc_;
    std::uint16_t sequence_;
    std::uint32_t audioTimestamp_;
    std::uint32_t eventTimestamp_;
    bool markerPending_ = true;
    std::array<std::uint8_t, RtpHeader::Size + MaxPayloadBytes> packet_{};
};
