#include "media/RtcpPacket.h"

#include <algorithm>

namespace {

constexpr std::size_t HeaderBytes = 4;
constexpr std::size_t SenderInfoBytes = 20;
constexpr std::size_t BlockBytes = 24;
constexpr std::uint8_t CnameItem = 1;

std::uint32_t Read32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | std::uint32_t{bytes[at + 3]};
}

class Writer {
public:
    explicit Writer(std::span<std::uint8_t> out) : out_(out) {}

    bool Fits(std::size_t bytes) const { return at_ + bytes <= out_.size(); }
    std::size_t Position() const { return at_; }
    void Byte(std::uint8_t value) { out_[at_++] = value; }
    void Word(std::uint32_t value)
    {
        for (int shift = 24; shift >= 0; shift -= 8)
            Byte(static_cast<std::uint8_t>(value >> shift));
    }
    void Text(std::string_view text)
    {
        for (const char c : text)
            Byte(static_cast<std::uint8_t>(c));
    }
    // A packet's header at `start`, once its length (a whole number of words) is known.
    void Header(std::size_t start, std::uint8_t count, std::uint8_t type)
    {
        const std::size_t words = (at_ - start) / 4 - 1;
        out_[start] = static_cast<std::uint8_t>(0x80 | count);
        out_[start + 1] = type;
        out_[start + 2] = static_cast<std::uint8_t>(words >> 8);
        out_[start + 3] = static_cast<std::uint8_t>(words);
    }

private:
    std::span<std::uint8_t> out_;
    std::size_t at_ = 0;
};

RtcpPacket::ReportBlock ReadBlock(std::span<const std::uint8_t> bytes)
{
    RtcpPacket::ReportBlock block;
    block.ssrc = Read32(bytes, 0);
    block.fractionLost = bytes[4];
    const std::uint32_t lost = Read32(bytes, 4) & 0x00FFFFFF;
    block.cumulativeLost = (lost & 0x00800000) != 0 ? static_cast<std::int32_t>(lost) - 0x01000000
                                                     : static_cast<std::int32_t>(lost);
    block.highestSequence = Read32(bytes, 8);
    block.jitter = Read32(bytes, 12);
    block.lastSenderReport = Read32(bytes, 16);
    block.delaySinceLastSenderReport = Read32(bytes, 20);
    return block;
}

void WriteBlock(Writer& writer, const RtcpPacket::ReportBlock& block)
{
    const std::int32_t lost = std::clamp(block.cumulativeLost, -0x800000, 0x7FFFFF);
    writer.Word(block.ssrc);
    writer.Word((std::uint32_t{block.fractionLost} << 24) | (static_cast<std::uint32_t>(lost) & 0x00FFFFFF));
    writer.Word(block.highestSequence);
    writer.Word(block.jitter);
    writer.Word(block.lastSenderReport);
    writer.Word(block.delaySinceLastSenderReport);
}

// The blocks of a sender or receiver report, whose body (after the header) is
// `body`; false when they do not fit in it.
bool ReadReport(std::span<const std::uint8_t> body, std::uint8_t type, std::size_t count,
                RtcpPacket::Compound& compound)
{
    const std::size_t fixed = 4 + (type == RtcpPacket::SenderReportType ? SenderInfoBytes : 0);
    if (body.size() < fixed + count * BlockBytes)
        return false;
    compound.senderSsrc = Read32(body, 0);
    if (type == RtcpPacket::SenderReportType) {
        RtcpPacket::SenderInfo info;
        info.ntpTimestamp = (std::uint64_t{Read32(body, 4)} << 32) | Read32(body, 8);
        info.rtpTimestamp = Read32(body, 12);
        info.packetCount = Read32(body, 16);
        info.octetCount = Read32(body, 20);
        compound.senderInfo = info;
    }
    compound.blockCount = count;
    for (std::size_t at = 0; at < count; ++at)
        compound.blocks[at] = ReadBlock(body.subspan(fixed + at * BlockBytes, BlockBytes));
    return true;
}

// The chunks of a source description: each an SSRC, items up to a null item, padding
// to the next word. The first CNAME found is kept.
bool ReadDescription(std::span<const std::uint8_t> body, std::size_t chunks, RtcpPacket::Compound& compound)
{
    std::size_t at = 0;
    for (std::size_t chunk = 0; chunk < chunks; ++chunk) {
        if (at + 4 > body.size())
            return false;
        at += 4;
        while (true) {
            if (at >= body.size())
                return false;
            const std::uint8_t item = body[at];
            if (item == 0) {
                at = (at + 4) / 4 * 4;
                break;
            }
            if (at + 2 > body.size() || at + 2 + body[at + 1] > body.size())
                return false;
            const std::size_t length = body[at + 1];
            if (item == CnameItem && compound.cname.empty())
                compound.cname = std::string_view(reinterpret_cast<const char*>(body.data() + at + 2), length);
            at += 2 + length;
        }
    }
    return at <= body.size();
}

bool ReadBye(std::span<const std::uint8_t> body, std::size_t sources, RtcpPacket::Compound& compound)
{
    const std::size_t listed = sources * 4;
    if (listed > body.size())
        return false;
    if (listed < body.size() && listed + 1 + body[listed] > body.size())
        return false;
    compound.bye = true;
    return true;
}

} // namespace

const RtcpPacket::ReportBlock* RtcpPacket::Compound::BlockAbout(std::uint32_t ssrc) const
{
    for (std::size_t at = 0; at < blockCount; ++at) {
        if (blocks[at].ssrc == ssrc)
            return &blocks[at];
    }
    return nullptr;
}

bool RtcpPacket::LooksLikeRtcp(std::span<const std::uint8_t> datagram)
{
    return datagram.size() >= 2 && datagram[1] >= 192 && datagram[1] <= 223;
}

std::optional<RtcpPacket::Compound> RtcpPacket::Parse(std::span<const std::uint8_t> datagram)
{
    if (datagram.size() < HeaderBytes + 4 || datagram.size() % 4 != 0)
        return std::nullopt;
    if ((datagram[0] & 0xE0) != 0x80 ||
        (datagram[1] != SenderReportType && datagram[1] != ReceiverReportType))
        return std::nullopt;
    Compound compound;
    std::size_t at = 0;
    bool reportRead = false;
    while (at < datagram.size()) {
        if (at + HeaderBytes > datagram.size() || (datagram[at] >> 6) != 2)
            return std::nullopt;
        const std::size_t length = (std::size_t{datagram[at + 2]} << 8 | datagram[at + 3]) * 4 + 4;
        if (at + length > datagram.size())
            return std::nullopt;
        std::span<const std::uint8_t> body = datagram.subspan(at + HeaderBytes, length - HeaderBytes);
        const bool last = at + length == datagram.size();
        if ((datagram[at] & 0x20) != 0) {
            const std::size_t padding = datagram[at + length - 1];
            if (!last || padding == 0 || padding > body.size())
                return std::nullopt;
            body = body.first(body.size() - padding);
        }
        const std::size_t count = datagram[at] & 0x1F;
        const std::uint8_t type = datagram[at + 1];
        bool valid = true;
        if ((type == SenderReportType || type == ReceiverReportType) && !reportRead) {
            valid = ReadReport(body, type, count, compound);
            reportRead = true;
        } else if (type == SourceDescriptionType) {
            valid = ReadDescription(body, count, compound);
        } else if (type == ByeType) {
            valid = ReadBye(body, count, compound);
        }
        if (!valid)
            return std::nullopt;
        at += length;
    }
    return compound;
}

std::size_t RtcpPacket::Write(const Report& report, std::span<std::uint8_t> out)
{
    if (report.cname.size() > MaxCnameBytes)
        return 0;
    Writer writer(out);
    const std::size_t cnameChunk = (4 + 2 + report.cname.size() + 1 + 3) / 4 * 4;
    const std::size_t needed = 8 + (report.senderInfo ? SenderInfoBytes : 0) + (report.block ? BlockBytes : 0) +
                               HeaderBytes + cnameChunk + (report.bye ? 8 : 0);
    if (!writer.Fits(needed))
        return 0;
    const std::uint8_t blocks = report.block ? 1 : 0;
    writer.Word(0);
    writer.Word(report.ssrc);
    if (report.senderInfo) {
        const SenderInfo& info = *report.senderInfo;
        writer.Word(static_cast<std::uint32_t>(info.ntpTimestamp >> 32));
        writer.Word(static_cast<std::uint32_t>(info.ntpTimestamp));
        writer.Word(info.rtpTimestamp);
        writer.Word(info.packetCount);
        writer.Word(info.octetCount);
    }
    if (report.block)
        WriteBlock(writer, *report.block);
    writer.Header(0, blocks, report.senderInfo ? SenderReportType : ReceiverReportType);

    const std::size_t description = writer.Position();
    writer.Word(0);
    writer.Word(report.ssrc);
    writer.Byte(CnameItem);
    writer.Byte(static_cast<std::uint8_t>(report.cname.size()));
    writer.Text(report.cname);
    // The null item ends the chunk, and more nulls pad it to a word.
    do
        writer.Byte(0);
    while (writer.Position() % 4 != 0);
    writer.Header(description, 1, SourceDescriptionType);

    if (report.bye) {
        const std::size_t bye = writer.Position();
        writer.Word(0);
        writer.Word(report.ssrc);
        writer.Header(bye, 1, ByeType);
    }
    return writer.Position();
}
