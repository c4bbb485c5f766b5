#include "media/RtcpChannel.h"

#include "media/RtpHeader.h"
#include "media/RtpSocket.h"
#include "media/SrtpSession.h"

#include <arpa/inet.h>

#include <array>
#include <cstdio>
#include <random>

namespace {

// Datagrams read from the RTCP socket per wake-up: a peer reports every few seconds,
// and a flood must not hold the beat.
constexpr std::size_t MaxReadPerBeat = 4;
// Seconds from 1900 (NTP's epoch) to 1970 (the system clock's).
constexpr std::uint64_t NtpEpochOffset = 2208988800ull;

std::chrono::microseconds WallClock()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::system_clock::now().time_since_epoch());
}

// RFC 7022: a random CNAME, the same for the line's calls while the program runs.
std::string RandomCname()
{
    std::random_device random;
    char text[25];
    std::snprintf(text, sizeof text, "%08x%08x%08x", random(), random(), random());
    return text;
}

} // namespace

RtcpChannel::RtcpChannel() : cname_(RandomCname())
{
}

std::uint64_t RtcpChannel::NtpTime(std::chrono::microseconds wallClock)
{
    const std::int64_t wall = wallClock.count();
    const std::uint64_t seconds = static_cast<std::uint64_t>(wall / 1000000) + NtpEpochOffset;
    const std::uint64_t fraction = (static_cast<std::uint64_t>(wall % 1000000) << 32) / 1000000;
    return seconds << 32 | fraction;
}

RtcpSession::Now RtcpChannel::Now()
{
    const auto monotonic = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return {monotonic, NtpTime(WallClock())};
}

int RtcpChannel::Prepare(const std::string& bindIp, int rtpPort)
{
    // A call that multiplexes goes on doing so when its SDP is offered again.
    if (Running() && target_.multiplexed)
        return 0;
    if (!socket_.IsOpen() && !(rtpPort > 0 && rtpPort < 65535 && socket_.Open(bindIp, rtpPort + 1)))
        socket_.Open(bindIp, 0);
    socket_.StampArrivals();
    return LocalPort();
}

void RtcpChannel::Start(const RtcpTarget& target, std::uint32_t ownSsrc)
{
    target_ = target;
    peer_ = {};
    UdpSocket::ParseEndpoint(target.address, target.port, peer_);
    // Multiplexed, the port of its own is not needed: another line may take it.
    if (target.multiplexed)
        socket_.Close();
    if (!session_.Started())
        session_.Start(ownSsrc, cname_, Now());
}

void RtcpChannel::FollowLatchedPeer(const NetworkEndpoint& rtp)
{
    const std::uint16_t rtpPort = ntohs(rtp.port);
    if (!target_.multiplexed && rtpPort == 65535)
        return;
    peer_ = {rtp.address, target_.multiplexed ? rtp.port : htons(static_cast<std::uint16_t>(rtpPort + 1))};
}

void RtcpChannel::Stop(RtpSocket& rtp, SrtpSession* srtp)
{
    if (session_.Started())
        Send(rtp, true, srtp);
    Close();
}

void RtcpChannel::Close()
{
    session_.Stop();
    socket_.Close();
    target_ = {};
    peer_ = {};
}

void RtcpChannel::NoteSent(std::span<const std::uint8_t> packet)
{
    const auto header = RtpHeader::Parse(packet);
    if (header)
        session_.OnRtpSent(header->payload.size(), header->sequence, header->timestamp, Now().monotonic);
}

void RtcpChannel::NoteReceived(std::uint32_t ssrc, std::uint16_t sequence, std::uint32_t timestamp,
                               std::size_t payloadOctets, std::optional<std::chrono::microseconds> arrival, bool audio)
{
    session_.OnRtpReceived(ssrc, sequence, timestamp, payloadOctets, arrival.value_or(WallClock()), audio);
}

// The round trip counts from when the report arrived, not from when a beat read it.
void RtcpChannel::OnDatagram(std::span<const std::uint8_t> datagram, const NetworkEndpoint& source,
                             std::optional<std::chrono::microseconds> arrival, SrtpSession* srtp)
{
    if (!session_.Started())
        return;
    const bool authentic = IsFromPeer(source) && (srtp == nullptr || srtp->UnprotectControl(datagram));
    const auto compound = authentic ? RtcpPacket::Parse(datagram) : std::nullopt;
    if (!compound) {
        ++rejected_;
        return;
    }
    session_.OnRtcpReceived(*compound, NtpTime(arrival.value_or(WallClock())));
}

void RtcpChannel::OnBeat(RtpSocket& rtp, DatagramBatch& batch, SrtpSession* srtp)
{
    if (!session_.Started())
        return;
    if (socket_.IsOpen()) {
        const int count = socket_.ReceiveBatch(batch, MaxReadPerBeat);
        for (int at = 0; at < count; ++at) {
            const auto index = static_cast<std::size_t>(at);
            if (!batch.Truncated(index))
                OnDatagram(batch.Bytes(index), batch.Source(index), batch.Arrival(index), srtp);
        }
    }
    if (session_.ReportDue(Now()))
        Send(rtp, false, srtp);
}

void RtcpChannel::Send(RtpSocket& rtp, bool bye, SrtpSession* srtp)
{
    std::array<std::uint8_t, RtcpPacket::MaxWrittenBytes> report{};
    const std::size_t length = session_.WriteReport(Now(), bye, report);
    if (length == 0 || !peer_.IsSet())
        return;
    std::span<const std::uint8_t> bytes(report.data(), length);
    if (srtp != nullptr)
        bytes = srtp->ProtectControl(bytes);
    if (bytes.empty())
        return;
    if (target_.multiplexed)
        rtp.Send(bytes, peer_);
    else if (socket_.IsOpen())
        socket_.SendTo(bytes, peer_);
}
