#include "media/RtpSourceLatch.h"

#include <array>
#include <cstring>

namespace {

bool IsBehindANat(std::uint32_t networkOrder)
{
    std::array<std::uint8_t, 4> octet{};
    std::memcpy(octet.data(), &networkOrder, octet.size());
    return octet[0] == 10 || (octet[0] == 172 && (octet[1] & 0xF0) == 16) || (octet[0] == 192 && octet[1] == 168) ||
           (octet[0] == 100 && (octet[1] & 0xC0) == 64) || (octet[0] == 169 && octet[1] == 254);
}

} // namespace

bool RtpSourceLatch::MayLatchOnto(const NetworkEndpoint& signalled, const NetworkEndpoint& source)
{
    return source.address == signalled.address || IsBehindANat(signalled.address);
}

void RtpSourceLatch::Reset(const NetworkEndpoint& signalled)
{
    signalled_ = signalled;
    chosen_ = {};
    candidate_ = {};
    candidateSsrc_ = 0;
    candidatePackets_ = 0;
}

bool RtpSourceLatch::Accept(const NetworkEndpoint& source, std::uint32_t ssrc)
{
    if (chosen_.IsSet())
        return source == chosen_;
    if (!signalled_.IsSet())
        return false;
    if (source == signalled_) {
        chosen_ = signalled_;
        return true;
    }
    if (!MayLatchOnto(signalled_, source))
        return false;
    if (source == candidate_ && ssrc == candidateSsrc_) {
        ++candidatePackets_;
    } else {
        candidate_ = source;
        candidateSsrc_ = ssrc;
        candidatePackets_ = 1;
    }
    if (candidatePackets_ < PacketsToLatch)
        return false;
    chosen_ = candidate_;
    return true;
}
