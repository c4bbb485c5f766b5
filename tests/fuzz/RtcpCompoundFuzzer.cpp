// Fuzz target: RTCP compound packets as a peer sends them, through the parser and,
// when it takes one, into a call's RTCP session, which then writes its own report.
//
// Input: the datagram, as it arrives.

#include "media/RtcpPacket.h"
#include "media/RtcpSession.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> datagram(data, size);
    const auto compound = RtcpPacket::Parse(datagram);
    if (!compound)
        return 0;
    // What the parser hands on lies inside the datagram.
    if (compound->blockCount > RtcpPacket::MaxReportBlocks ||
        (!compound->cname.empty() && (reinterpret_cast<const std::uint8_t*>(compound->cname.data()) < data ||
                                      reinterpret_cast<const std::uint8_t*>(compound->cname.data()) +
                                              compound->cname.size() > data + size)))
        std::abort();
    RtcpSession session;
    const RtcpSession::Now now{std::chrono::seconds(100), 0xE000000000000000ull};
    session.Start(compound->blockCount > 0 ? compound->blocks[0].ssrc : 1, "fuzz", now);
    session.OnRtpReceived(compound->senderSsrc, 1, 160, 160, std::chrono::seconds(1), true);
    session.OnRtcpReceived(*compound, now.ntp);
    std::array<std::uint8_t, RtcpPacket::MaxWrittenBytes> report{};
    const std::size_t length = session.WriteReport(now, true, report);
    if (length == 0 || !RtcpPacket::Parse(std::span(report.data(), length)))
        std::abort();
    session.CurrentFigures();
    return 0;
}
