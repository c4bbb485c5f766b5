#pragma once

#include "media/RtcpSession.h"

#include <cstdint>
#include <string>

// The figures of a line's call as GetCallStatistics gives them: one text of
// `key=value` pairs separated by `;`, every figure -1 while it is not known.
struct CallStatistics {
    int codec = -1; // CodecIndex
    std::int64_t sentPackets = -1;
    std::int64_t sentBytes = -1;
    std::int64_t receivedPackets = -1;
    std::int64_t receivedBytes = -1;
    std::int64_t lost = -1;
    std::int64_t peerLost = -1;
    double jitterMs = -1;
    double peerJitterMs = -1;
    double rttMs = -1;
    std::int64_t concealed = -1;
    double jitterBufferDelayMs = -1;
    double mos = -1;

    // What the jitter buffer and the codec add to the session's figures.
    struct Playout {
        int codec = -1;
        int packetMs = 0;
        std::int64_t concealedBlocks = -1;
        // -1 while no sound device plays the line: then nobody hears that delay.
        double jitterBufferDelayMs = -1;
    };
    // The call's figures, with the MOS estimate from the worse of the two directions'
    // loss and a one-way delay of half the round trip (when known), the jitter
    // buffer's delay and one packet.
    static CallStatistics Of(const RtcpSession::Figures& session, const Playout& playout);

    // codec=PCMU;sent_packets=…;…;mos=4.4
    std::string ToText() const;
    // The name of a CodecIndex in SDP's spelling; "-1" for none.
    static std::string CodecName(int codec);
};
