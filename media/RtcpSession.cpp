#include "media/RtcpSession.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::uint32_t SequenceModulo = 1u << 16;
constexpr std::uint16_t MaxDropout = 3000;
constexpr std::uint16_t MaxMisorder = 100;
constexpr int MinSequential = 2;
// Five per cent of a G.711 call's 80 kbit/s, in octets per second; the smaller codecs'
// share would only lower a time the five-second minimum already overrides.
constexpr double RtcpOctetsPerSecond = 0.05 * 80000 / 8;
constexpr int Members = 2;
// What UDP over IPv4 adds to every packet, counted in the average size.
constexpr std::size_t UdpIpOctets = 28;
constexpr double FirstAverageOctets = 100;

std::uint32_t MiddleBits(std::uint64_t ntp)
{
    return static_cast<std::uint32_t>(ntp >> 16);
}

double TimestampUnits(RtcpSession::Micros duration)
{
    return static_cast<double>(duration.count()) * RtcpSession::ClockRate / 1000000;
}

double TimestampUnitsToMs(double units)
{
    return units * 1000.0 / RtcpSession::ClockRate;
}

} // namespace

RtcpSession::RtcpSession() : random_(std::random_device{}())
{
}

void RtcpSession::Start(std::uint32_t ownSsrc, const std::string& cname, Now now)
{
    *this = RtcpSession();
    started_ = true;
    ownSsrc_ = ownSsrc;
    cname_ = cname.substr(0, RtcpPacket::MaxCnameBytes);
    averageRtcpOctets_ = FirstAverageOctets;
    ScheduleNext(now, true);
}

RtcpSession::Micros RtcpSession::Interval(bool initial, double averagePacketOctets, double draw)
{
    const double minimum = std::chrono::duration<double>(MinimumInterval).count() / (initial ? 2 : 1);
    const double deterministic = std::max(minimum, averagePacketOctets * Members / RtcpOctetsPerSecond);
    const double compensation = std::exp(1.0) - 1.5;
    const double seconds = deterministic * (std::clamp(draw, 0.0, 1.0) + 0.5) / compensation;
    return std::chrono::duration_cast<Micros>(std::chrono::duration<double>(seconds));
}

void RtcpSession::ScheduleNext(Now now, bool initial)
{
    const double draw = std::uniform_real_distribution<double>(0.0, 1.0)(random_);
    nextReport_ = now.monotonic + Interval(initial, averageRtcpOctets_, draw);
}

void RtcpSession::NoteRtcpSize(std::size_t octets)
{
    averageRtcpOctets_ += (static_cast<double>(octets + UdpIpOctets) - averageRtcpOctets_) / 16;
}

void RtcpSession::OnRtpSent(std::size_t payloadOctets, std::uint16_t sequence, std::uint32_t rtpTimestamp,
                            Micros sentAt)
{
    if (!started_)
        return;
    if (!firstSequence_)
        firstSequence_ = sequence;
    ++sentPackets_;
    sentOctets_ += static_cast<std::int64_t>(payloadOctets);
    sentSinceReport_ = true;
    lastRtpTimestamp_ = rtpTimestamp;
    lastSentAt_ = sentAt;
}

void RtcpSession::OnRtpReceived(std::uint32_t ssrc, std::uint16_t sequence, std::uint32_t timestamp,
                                std::size_t payloadOctets, Micros arrival, bool audio)
{
    if (!started_)
        return;
    ++receivedPackets_;
    receivedOctets_ += static_cast<std::int64_t>(payloadOctets);
    if (!source_ || source_->ssrc != ssrc)
        NewSource(ssrc, sequence);
    else if (!UpdateSequence(sequence))
        return;
    if (audio)
        UpdateJitter(timestamp, arrival);
}

// A peer that starts a new stream in the call (a transfer, a restart) is followed
// afresh; what its earlier stream lost still counts.
void RtcpSession::NewSource(std::uint32_t ssrc, std::uint16_t sequence)
{
    if (source_) {
        earlierLost_ += LostOfSource();
        earlierExpected_ += Expected();
    }
    source_ = Source{};
    source_->ssrc = ssrc;
    InitSequence(sequence);
    source_->maxSequence = static_cast<std::uint16_t>(sequence - 1);
    source_->probation = MinSequential;
    UpdateSequence(sequence);
}

void RtcpSession::InitSequence(std::uint16_t sequence)
{
    source_->baseSequence = sequence;
    source_->maxSequence = sequence;
    source_->badSequence = SequenceModulo + 1;
    source_->cycles = 0;
    source_->received = 0;
    source_->receivedPrior = 0;
    source_->expectedPrior = 0;
}

// RFC 3550, A.1: a new source counts after MinSequential packets in sequence; a jump
// counts once two packets agree on it; anything else late or repeated just counts.
bool RtcpSession::UpdateSequence(std::uint16_t sequence)
{
    Source& source = *source_;
    const auto delta = static_cast<std::uint16_t>(sequence - source.maxSequence);
    if (source.probation > 0) {
        if (sequence == static_cast<std::uint16_t>(source.maxSequence + 1)) {
            --source.probation;
            source.maxSequence = sequence;
            if (source.probation == 0) {
                InitSequence(sequence);
                ++source.received;
                return true;
            }
        } else {
            source.probation = MinSequential - 1;
            source.maxSequence = sequence;
        }
        return false;
    }
    if (delta < MaxDropout) {
        if (sequence < source.maxSequence)
            source.cycles += SequenceModulo;
        source.maxSequence = sequence;
    } else if (delta <= SequenceModulo - MaxMisorder) {
        if (sequence != source.badSequence) {
            source.badSequence = (sequence + 1u) & (SequenceModulo - 1);
            return false;
        }
        InitSequence(sequence);
    }
    ++source.received;
    return true;
}

// RFC 3550, A.8, in timestamp units: the difference of two packets' transit times is
// the difference of their arrivals less that of their timestamps (which may wrap).
void RtcpSession::UpdateJitter(std::uint32_t timestamp, Micros arrival)
{
    Source& source = *source_;
    if (source.lastArrival) {
        const double arrivalUnits = TimestampUnits(arrival - *source.lastArrival);
        const auto timestampUnits = static_cast<std::int32_t>(timestamp - source.lastTimestamp);
        const double difference = std::abs(arrivalUnits - timestampUnits);
        source.jitter += (difference - source.jitter) / 16;
    }
    source.lastArrival = arrival;
    source.lastTimestamp = timestamp;
}

std::int64_t RtcpSession::Expected() const
{
    if (!source_ || source_->probation > 0)
        return 0;
    const std::int64_t extendedMax = static_cast<std::int64_t>(source_->cycles) + source_->maxSequence;
    return extendedMax - source_->baseSequence + 1;
}

std::int64_t RtcpSession::LostOfSource() const
{
    return source_ ? Expected() - source_->received : 0;
}

void RtcpSession::OnRtcpReceived(const RtcpPacket::Compound& compound, std::uint64_t arrivalNtp)
{
    if (!started_)
        return;
    if (compound.senderInfo) {
        peerReportNtp_ = MiddleBits(compound.senderInfo->ntpTimestamp);
        peerReportArrival_ = arrivalNtp;
    }
    if (const RtcpPacket::ReportBlock* block = compound.BlockAbout(ownSsrc_)) {
        peerBlock_ = *block;
        // RFC 3550, 6.4.1: arrival minus the sender report's time and the delay the
        // peer held it, in 1/65536 s; a peer that never had our report gives 0.
        if (block->lastSenderReport != 0) {
            const auto units = static_cast<std::int32_t>(MiddleBits(arrivalNtp) - block->lastSenderReport -
                                                         block->delaySinceLastSenderReport);
            if (units >= 0)
                roundTripMs_ = units * 1000.0 / 65536;
        }
    }
}

RtcpPacket::ReportBlock RtcpSession::BlockAboutPeer(Now now)
{
    Source& source = *source_;
    RtcpPacket::ReportBlock block;
    block.ssrc = source.ssrc;
    const std::int64_t expected = Expected();
    const std::int64_t expectedInterval = expected - source.expectedPrior;
    const std::int64_t receivedInterval = source.received - source.receivedPrior;
    source.expectedPrior = expected;
    source.receivedPrior = source.received;
    const std::int64_t lostInterval = expectedInterval - receivedInterval;
    if (expectedInterval > 0 && lostInterval > 0)
        block.fractionLost = static_cast<std::uint8_t>(std::min<std::int64_t>(255, (lostInterval << 8) / expectedInterval));
    block.cumulativeLost = static_cast<std::int32_t>(std::clamp<std::int64_t>(LostOfSource(), -0x800000, 0x7FFFFF));
    block.highestSequence = source.cycles + source.maxSequence;
    block.jitter = static_cast<std::uint32_t>(source.jitter);
    if (peerReportNtp_ != 0) {
        block.lastSenderReport = peerReportNtp_;
        block.delaySinceLastSenderReport = MiddleBits(now.ntp) - MiddleBits(peerReportArrival_);
    }
    return block;
}

std::size_t RtcpSession::WriteReport(Now now, bool bye, std::span<std::uint8_t> out)
{
    RtcpPacket::Report report;
    report.ssrc = ownSsrc_;
    report.cname = cname_;
    report.bye = bye;
    // RFC 3550, 6.4: a sender report while this side sent since the report before last.
    if (sentSinceReport_ || sentBeforeReport_) {
        RtcpPacket::SenderInfo info;
        info.ntpTimestamp = now.ntp;
        const auto sinceSent = static_cast<std::int64_t>(TimestampUnits(now.monotonic - lastSentAt_));
        info.rtpTimestamp = lastRtpTimestamp_ + static_cast<std::uint32_t>(sinceSent);
        info.packetCount = static_cast<std::uint32_t>(sentPackets_);
        info.octetCount = static_cast<std::uint32_t>(sentOctets_);
        report.senderInfo = info;
    }
    if (source_ && source_->probation == 0)
        report.block = BlockAboutPeer(now);
    std::array<std::uint8_t, RtcpPacket::MaxWrittenBytes> room{};
    const std::size_t length = RtcpPacket::Write(report, room);
    if (length == 0 || length > out.size())
        return 0;
    std::copy_n(room.begin(), length, out.begin());
    sentBeforeReport_ = sentSinceReport_;
    sentSinceReport_ = false;
    NoteRtcpSize(length);
    ScheduleNext(now, false);
    return length;
}

RtcpSession::Figures RtcpSession::CurrentFigures() const
{
    Figures figures;
    figures.sentPackets = sentPackets_;
    figures.sentOctets = sentOctets_;
    figures.receivedPackets = receivedPackets_;
    figures.receivedOctets = receivedOctets_;
    if (source_) {
        figures.expected = earlierExpected_ + Expected();
        figures.lost = std::max<std::int64_t>(0, earlierLost_ + LostOfSource());
        figures.jitterMs = TimestampUnitsToMs(source_->jitter);
    }
    if (peerBlock_) {
        figures.peerLost = std::max(0, peerBlock_->cumulativeLost);
        figures.peerJitterMs = TimestampUnitsToMs(peerBlock_->jitter);
        const std::int64_t expected =
            firstSequence_ ? static_cast<std::int64_t>(peerBlock_->highestSequence) - *firstSequence_ + 1 : 0;
        figures.peerLostPercent =
            expected > 0 ? std::min(100.0, 100.0 * static_cast<double>(figures.peerLost) / static_cast<double>(expected))
                         : 0;
    }
    figures.roundTripMs = roundTripMs_;
    return figures;
}
