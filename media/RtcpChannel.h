#pragma once

#include "media/RtcpSession.h"
#include "platform/DatagramBatch.h"
#include "platform/NetworkEndpoint.h"
#include "platform/UdpSocket.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

class RtpSocket;
class SrtpSession;

// Where the peer takes RTCP: its address (the SDP's, or a=rtcp's), its RTCP port
// (a=rtcp's, else the RTP port + 1) or, multiplexed (a=rtcp-mux), its RTP port.
struct RtcpTarget {
    std::string address;
    int port = 0;
    bool multiplexed = false;
};

// The I/O of a line's RTCP around its RtcpSession: the RTCP socket of its own (bound
// per call, on the RTP port + 1 when that is free, else on any free port, and never
// required: a line without one still sends and takes multiplexed RTCP), reading it
// on the media beat, sending the reports when due and the BYE at the end of a call.
// Only what comes from the call's peer counts. An encrypted call's RTCP is SRTCP
// through the call's SrtpSession (null for plain RTP): nothing leaves in clear, and
// what fails the checks counts as a stranger's. Not locked: the line locks.
class RtcpChannel {
public:
    RtcpChannel();

    // The port to announce for a call on the line's RTP port `rtpPort`, bound now
    // when the socket is not open yet; 0 when no port can be had.
    int Prepare(const std::string& bindIp, int rtpPort);
    // The call's media started (again, after a re-INVITE): the first time, the
    // session starts afresh.
    void Start(const RtcpTarget& target, std::uint32_t ownSsrc);
    bool Running() const { return session_.Started(); }
    bool Multiplexed() const { return target_.multiplexed; }
    // The call's RTP latched onto `rtp`, another source than its SDP names (a peer
    // behind a NAT): the peer's RTCP is the one from that address, on the next port
    // (on the same one, multiplexed), and reports go there, until the media moves.
    void FollowLatchedPeer(const NetworkEndpoint& rtp);
    // The call ended: a report with a BYE goes out, the figures stay and the socket
    // closes.
    void Stop(RtpSocket& rtp, SrtpSession* srtp);
    // The line closed: nothing more is sent.
    void Close();

    // Every RTP packet the line sends, as sent.
    void NoteSent(std::span<const std::uint8_t> packet);
    void NoteReceived(std::uint32_t ssrc, std::uint16_t sequence, std::uint32_t timestamp, std::size_t payloadOctets,
                      std::optional<std::chrono::microseconds> arrival, bool audio);
    // A datagram that came as RTCP (on its own socket, or multiplexed on the RTP one).
    // `arrival`: the wall clock when it came, as the kernel stamped it.
    void OnDatagram(std::span<const std::uint8_t> datagram, const NetworkEndpoint& source,
                    std::optional<std::chrono::microseconds> arrival, SrtpSession* srtp);
    // Once per wake-up of the media beat: what the RTCP socket received, then the
    // report when it is due.
    void OnBeat(RtpSocket& rtp, DatagramBatch& batch, SrtpSession* srtp);

    RtcpSession::Figures Figures() const { return session_.CurrentFigures(); }
    // Datagrams dropped for coming from elsewhere than the peer, for failing the
    // SRTCP checks, or for not being RTCP.
    std::uint64_t Rejected() const { return rejected_; }
    int LocalPort() const { return socket_.IsOpen() ? socket_.LocalPort() : 0; }

private:
    // The source filter of received RTCP: the peer's RTCP endpoint as the SDP gives it,
    // or as the RTP latch found it.
    bool IsFromPeer(const NetworkEndpoint& source) const { return peer_.IsSet() && source == peer_; }
    void Send(RtpSocket& rtp, bool bye, SrtpSession* srtp);
    static RtcpSession::Now Now();
    static std::uint64_t NtpTime(std::chrono::microseconds wallClock);

    RtcpSession session_;
    UdpSocket socket_;
    RtcpTarget target_;
    NetworkEndpoint peer_;
    std::string cname_;
    std::uint64_t rejected_ = 0;
};
