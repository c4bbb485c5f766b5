#pragma once

#include "media/RtcpPacket.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string>

// The RTCP side of one call (RFC 3550): what this side sent, what it received of the
// peer's stream (loss by sequence number, interarrival jitter), what the peer
// reports of ours (loss, jitter, round trip from LSR and DLSR), and when the next
// report is due. Pure: times are handed in, and reports are written into buffers,
// so that the I/O class around it (RtcpChannel) stays thin. Not locked: the line
// locks.
class RtcpSession {
public:
    using Micros = std::chrono::microseconds;
    static constexpr int ClockRate = 8000;
    // The least time between reports, halved before the first one.
    static constexpr Micros MinimumInterval = std::chrono::seconds(5);

    // The two clocks a report needs: a monotonic one for scheduling, and the wall
    // clock as an NTP timestamp (seconds since 1900, 32.32 fixed point).
    struct Now {
        Micros monotonic{0};
        std::uint64_t ntp = 0;
    };

    // What the session knows; -1 (or below 0) for what it does not know yet.
    struct Figures {
        std::int64_t sentPackets = 0;
        std::int64_t sentOctets = 0;
        std::int64_t receivedPackets = 0;
        std::int64_t receivedOctets = 0;
        // Expected but not received, by sequence number; -1 before the peer's stream
        // is known.
        std::int64_t lost = -1;
        std::int64_t expected = -1;
        double jitterMs = -1;
        // From the peer's last report about this side's stream.
        std::int64_t peerLost = -1;
        double peerLostPercent = -1;
        double peerJitterMs = -1;
        double roundTripMs = -1;
    };

    RtcpSession();

    // A new call: everything counted so far is forgotten, `cname` names this side,
    // and the first report is due within half the minimum interval.
    void Start(std::uint32_t ownSsrc, const std::string& cname, Now now);
    bool Started() const { return started_; }
    // The call ended: the figures stay as they are until the next Start.
    void Stop() { started_ = false; }

    // Every RTP packet this side sends.
    void OnRtpSent(std::size_t payloadOctets, std::uint16_t sequence, std::uint32_t rtpTimestamp, Micros sentAt);
    // Every RTP packet accepted from the peer; `arrival` on any clock that runs at
    // real speed. Only audio packets count for jitter: a telephone event keeps its
    // timestamp for its whole length.
    void OnRtpReceived(std::uint32_t ssrc, std::uint16_t sequence, std::uint32_t timestamp,
                       std::size_t payloadOctets, Micros arrival, bool audio);
    // A valid compound packet from the peer; `arrival` is the wall clock when it came.
    void OnRtcpReceived(const RtcpPacket::Compound& compound, std::uint64_t arrivalNtp);

    bool ReportDue(Now now) const { return started_ && now.monotonic >= nextReport_; }
    // Writes this side's report (with a BYE when asked) into `out`, and schedules the
    // next one; its length, 0 when it does not fit.
    std::size_t WriteReport(Now now, bool bye, std::span<std::uint8_t> out);

    Figures CurrentFigures() const;

    // The time from one report to the next: the RFC's deterministic interval (the
    // minimum wins with two members and a voice call's bandwidth), spread by a factor
    // of 0.5 to 1.5 and divided by e - 3/2. `draw` is that factor's uniform part,
    // 0 to 1.
    static Micros Interval(bool initial, double averagePacketOctets, double draw);

private:
    // The peer's stream as RFC 3550 (A.1) follows it.
    struct Source {
        std::uint32_t ssrc = 0;
        std::uint16_t maxSequence = 0;
        std::uint32_t cycles = 0;
        std::uint32_t baseSequence = 0;
        std::uint32_t badSequence = 0;
        int probation = 0;
        std::int64_t received = 0;
        std::int64_t expectedPrior = 0;
        std::int64_t receivedPrior = 0;
        std::optional<Micros> lastArrival;
        std::uint32_t lastTimestamp = 0;
        double jitter = 0;
    };

    void InitSequence(std::uint16_t sequence);
    // Whether the packet counts (a source on probation or one that jumped does not yet).
    bool UpdateSequence(std::uint16_t sequence);
    void NewSource(std::uint32_t ssrc, std::uint16_t sequence);
    void UpdateJitter(std::uint32_t timestamp, Micros arrival);
    std::int64_t Expected() const;
    std::int64_t LostOfSource() const;
    RtcpPacket::ReportBlock BlockAboutPeer(Now now);
    void ScheduleNext(Now now, bool initial);
    void NoteRtcpSize(std::size_t octets);

    std::mt19937 random_;
    bool started_ = false;
    std::uint32_t ownSsrc_ = 0;
    std::string cname_;
    Micros nextReport_{0};
    double averageRtcpOctets_ = 0;

    // Sending.
    std::int64_t sentPackets_ = 0;
    std::int64_t sentOctets_ = 0;
    // Since the report before the last one: a sender report, else a receiver report.
    bool sentSinceReport_ = false;
    bool sentBeforeReport_ = false;
    // The call's first sequence number: the peer's highest one tells how many it expected.
    std::optional<std::uint16_t> firstSequence_;
    std::uint32_t lastRtpTimestamp_ = 0;
    Micros lastSentAt_{0};

    // Receiving.
    std::optional<Source> source_;
    std::int64_t receivedPackets_ = 0;
    std::int64_t receivedOctets_ = 0;
    // Lost by sources of the peer that a new SSRC replaced during the call.
    std::int64_t earlierLost_ = 0;
    std::int64_t earlierExpected_ = 0;
    // The middle bits of the peer's last sender report, and when it came (NTP time).
    std::uint32_t peerReportNtp_ = 0;
    std::uint64_t peerReportArrival_ = 0;

    // The peer's view of this side's stream.
    std::optional<RtcpPacket::ReportBlock> peerBlock_;
    double roundTripMs_ = -1;
};
