#include "media/CallStatistics.h"

#include "media/CodecSet.h"
#include "media/EModel.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Decimal(double value)
{
    if (value < 0)
        return "-1";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string Whole(std::int64_t value)
{
    return std::to_string(value < 0 ? -1 : value);
}

double LossPercent(std::int64_t lost, std::int64_t expected)
{
    return expected > 0 ? 100.0 * static_cast<double>(std::max<std::int64_t>(0, lost)) / static_cast<double>(expected)
                        : 0;
}

} // namespace

std::string CallStatistics::CodecName(int codec)
{
    switch (codec) {
    case CodecSet::Gsm: return "GSM";
    case CodecSet::Ilbc: return "iLBC";
    case CodecSet::Pcma: return "PCMA";
    case CodecSet::Pcmu: return "PCMU";
    case CodecSet::G729: return "G729";
    default: return "-1";
    }
}

CallStatistics CallStatistics::Of(const RtcpSession::Figures& session, const Playout& playout)
{
    CallStatistics statistics;
    statistics.codec = playout.codec;
    statistics.sentPackets = session.sentPackets;
    statistics.sentBytes = session.sentOctets;
    statistics.receivedPackets = session.receivedPackets;
    statistics.receivedBytes = session.receivedOctets;
    statistics.lost = session.lost;
    statistics.peerLost = session.peerLost;
    statistics.jitterMs = session.jitterMs;
    statistics.peerJitterMs = session.peerJitterMs;
    statistics.rttMs = session.roundTripMs;
    statistics.concealed = playout.concealedBlocks;
    statistics.jitterBufferDelayMs = playout.jitterBufferDelayMs;
    if (playout.codec >= 0 && session.lost >= 0) {
        const double loss = std::max(LossPercent(session.lost, session.expected), session.peerLostPercent);
        const double delay = std::max(0.0, session.roundTripMs) / 2 + std::max(0.0, playout.jitterBufferDelayMs) +
                             playout.packetMs;
        statistics.mos = EModel::Mos(playout.codec, delay, loss);
    }
    return statistics;
}

std::string CallStatistics::ToText() const
{
    return "codec=" + CodecName(codec) + ";sent_packets=" + Whole(sentPackets) + ";sent_bytes=" + Whole(sentBytes) +
           ";received_packets=" + Whole(receivedPackets) + ";received_bytes=" + Whole(receivedBytes) +
           ";lost=" + Whole(lost) + ";peer_lost=" + Whole(peerLost) + ";jitter_ms=" + Decimal(jitterMs) +
           ";peer_jitter_ms=" + Decimal(peerJitterMs) + ";rtt_ms=" + Decimal(rttMs) + ";concealed=" +
           Whole(concealed) + ";jb_delay_ms=" + Decimal(jitterBufferDelayMs) + ";mos=" + Decimal(mos);
}
