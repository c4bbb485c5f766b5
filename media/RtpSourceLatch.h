#pragma once

#include "platform/NetworkEndpoint.h"

#include <cstdint>

// Which source a line takes RTP from, and where it sends. The peer's SDP names an
// address and port; packets from there are taken and settle the matter. A peer behind
// a NAT sends from another one: when the first packets come from elsewhere, the line
// latches onto that source once PacketsToLatch packets in a row with one SSRC came
// from it. Either way, from then on only that source is taken and the line sends
// there; a packet from any other address is dropped, so nobody who guesses the port
// can play into the call or steer its audio. Pure, so the rule is tested directly
// and a caller can add conditions (say, authenticated packets only) before Accept.
class RtpSourceLatch {
public:
    static constexpr int PacketsToLatch = 3;

    // A call's media starts or moves: the SDP's endpoint, latching open again.
    void Reset(const NetworkEndpoint& signalled);
    // No call: nothing is taken, nothing sent.
    void Clear() { Reset({}); }
    // Whether a packet from `source` with `ssrc` is taken.
    bool Accept(const NetworkEndpoint& source, std::uint32_t ssrc);
    const NetworkEndpoint& Signalled() const { return signalled_; }
    // Where the line sends: the source settled on, else the SDP's endpoint.
    const NetworkEndpoint& Destination() const { return chosen_.IsSet() ? chosen_ : signalled_; }
    // Whether the line latched onto a source other than the SDP's.
    bool Latched() const { return chosen_.IsSet() && chosen_ != signalled_; }

private:
    NetworkEndpoint signalled_;
    NetworkEndpoint chosen_;
    NetworkEndpoint candidate_;
    std::uint32_t candidateSsrc_ = 0;
    int candidatePackets_ = 0;
};
