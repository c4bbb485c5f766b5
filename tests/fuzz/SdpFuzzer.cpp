// Fuzz target: a peer's SDP read the way a call reads an offer or an answer (codec
// map, connection address, media port, direction), the codec chosen from it, and
// the answer this side would build to it, which must always read back.

#include "tests/fuzz/FuzzEnvironment.h"

#include "platform/DnsResolver.h"
#include "platform/MessageLoop.h"
#include "sipsyntax/SdpDescription.h"
#include "useragent/CodecList.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// The direction of this side's answer, as a re-INVITE is answered.
std::string AnswerDirection(const std::string& offered)
{
    if (offered == "sendonly")
        return "recvonly";
    if (offered == "inactive")
        return "inactive";
    return "sendrecv";
}

void ChooseCodec(const SdpDescription& offer, const CodecList& preference)
{
    SdpDescription::CodecNames names;
    CodecPayloads payloads;
    int telephoneEvent = -1;
    offer.GetCodecMap(names, payloads, telephoneEvent);
    std::string chosen = preference.FirstCommon(names);
    if (!chosen.empty() && !CodecList::IsValid(CodecList::CodecIndexOfName(chosen)))
        std::abort();
}

void BuildAnswer(const SdpDescription& offer, const CodecList& preference)
{
    SdpOfferParams params;
    params.ownerUserName = "1001";
    params.sessionName = "OrvSoft";
    params.direction = AnswerDirection(offer.GetDirection());
    params.originAddress = "127.0.0.1";
    params.connectionAddress = "127.0.0.1";
    params.mediaPort = 7000;
    params.payloads = preference.PayloadTypes();
    params.rtpMaps = preference.RtpMaps();
    SdpDescription answer;
    std::string text;
    SdpDescription reread;
    if (!answer.BuildOffer(params, text) || !reread.Parse(text))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzEnvironment environment(NetworkConfinement::Level::NoTraffic);
    static MessageLoop loop;
    static DnsResolver resolver(loop);
    static const CodecList preference = CodecList::DefaultSelection();
    static const CodecList fallback = [] {
        CodecList list;
        list.ApplyFallback();
        return list;
    }();
    SdpDescription offer;
    if (!offer.Parse(FuzzEnvironment::Text(data, size)))
        return 0;
    std::string address;
    if (offer.GetConnectionAddress(address))
        resolver.LocalAnswer(address);
    int port = 0;
    offer.GetMediaPort(port);
    ChooseCodec(offer, preference);
    ChooseCodec(offer, fallback);
    BuildAnswer(offer, preference);
    offer.ToText();
    return 0;
}
