#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// RTCP compound packets (RFC 3550): reading what a peer sends and writing our own
// reports. Pure: no sockets and no clocks, so that the unit tests and the fuzz target
// drive every rule directly.
class RtcpPacket {
public:
    static constexpr std::uint8_t SenderReportType = 200;
    static constexpr std::uint8_t ReceiverReportType = 201;
    static constexpr std::uint8_t SourceDescriptionType = 202;
    static constexpr std::uint8_t ByeType = 203;
    // Five bits count the blocks of one report.
    static constexpr std::size_t MaxReportBlocks = 31;
    static constexpr std::size_t MaxCnameBytes = 255;
    // Room for the largest report this side writes: a sender report with one block,
    // the CNAME and a BYE.
    static constexpr std::size_t MaxWrittenBytes = 28 + 24 + 8 + 2 + MaxCnameBytes + 4 + 8;

    struct ReportBlock {
        std::uint32_t ssrc = 0;
        // Of 256, since the previous report.
        std::uint8_t fractionLost = 0;
        // Signed 24 bits: duplicates may make it negative.
        std::int32_t cumulativeLost = 0;
        std::uint32_t highestSequence = 0;
        // In timestamp units.
        std::uint32_t jitter = 0;
        // The middle 32 bits of the NTP time of the last sender report received, and
        // the delay since, in 1/65536 s; both 0 when none came.
        std::uint32_t lastSenderReport = 0;
        std::uint32_t delaySinceLastSenderReport = 0;
    };

    struct SenderInfo {
        std::uint64_t ntpTimestamp = 0;
        std::uint32_t rtpTimestamp = 0;
        std::uint32_t packetCount = 0;
        std::uint32_t octetCount = 0;
    };

    // What one valid compound packet says. The views point into the datagram.
    struct Compound {
        std::uint32_t senderSsrc = 0;
        std::optional<SenderInfo> senderInfo;
        std::array<ReportBlock, MaxReportBlocks> blocks{};
        std::size_t blockCount = 0;
        std::string_view cname;
        bool bye = false;

        // The block about `ssrc`, if the report holds one.
        const ReportBlock* BlockAbout(std::uint32_t ssrc) const;
    };

    // Whether a datagram on an RTP port is RTCP rather than RTP: its second byte is
    // a payload type of 64 to 95 with the marker bit, the range RTCP's packet types
    // 192 to 223 fall in (RFC 5761).
    static bool LooksLikeRtcp(std::span<const std::uint8_t> datagram);

    // A compound packet as RFC 3550 (A.2) validates it: version 2 throughout, a
    // sender or receiver report first, lengths that add up to the datagram exactly,
    // padding on the last packet only, every report, description and BYE within its
    // own length. Nothing when any of it fails: the whole datagram is dropped.
    static std::optional<Compound> Parse(std::span<const std::uint8_t> datagram);

    // What this side reports: a sender report when senderInfo is set, else a receiver
    // report; at most one block; an SDES with the CNAME; a BYE when `bye`.
    struct Report {
        std::uint32_t ssrc = 0;
        std::optional<SenderInfo> senderInfo;
        std::optional<ReportBlock> block;
        std::string_view cname;
        bool bye = false;
    };
    // Writes the compound packet into `out`; its length, 0 when it does not fit or
    // the CNAME is longer than 255 bytes.
    static std::size_t Write(const Report& report, std::span<std::uint8_t> out);
};
