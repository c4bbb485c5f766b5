#pragma once

#include "platform/NetworkEndpoint.h"

#include <cstdint>

// Which source a line takes RTP from, and where it sends. The peer's SDP names an
// address and port; packets from there are taken and settle the matter. A peer behind
// a NAT sends from another one: when the first packets come from elsewhere, the line
// latches onto that source once PacketsToLatch packets in a row with one SSRC came
// from it. Either way, from then on only that source is taken and the line sends
// there; a packet from any other address is dropped, so nobody who guesses the port
// can play into the call or steer its audio. Latching onto another address than the
// SDP's is for SDPs naming an address no packet comes from on the way here (a LAN
// address behind a NAT): a peer naming a global address keeps it, and only another
// port of it may be latched onto, so a stranger cannot win the call's first moments
// either. Pure, so the rule is tested directly and a caller can add conditions (say,
// authenticated packets only) before Accept.
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
    // Whether packets from `source` may latch when the SDP named `signalled`: another
    // port of its address, or any source when it is a private (RFC 1918), shared
    // (RFC 6598) or link-local address.
    static bool MayLatchOnto(const NetworkEndpoint& signalled, const NetworkEndpoint& source);

private:
    NetworkEndpoint signalled_;
    NetworkEndpoint chosen_;
    NetworkEndpoint candidate_;
    std::uint32_t candidateSsrc_ = 0;
    int candidatePackets_ = 0;
};
