#include "media/RtpSourceLatch.h"

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
