// Fuzz target: bytes a peer sends over a SIP connection, cut into messages, pings and
// pongs by the stream framer, read in chunks whose sizes the input's first byte picks.
// Whatever comes in, no message is longer than the bounds allow, the framer never holds
// more than a header section, a body and one read, a failed stream gives nothing more,
// and every message it gives is framed alone as itself.

#include "tests/fuzz/FuzzEnvironment.h"

#include "sipsyntax/SipStreamFramer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t LargestMessage = SipStreamFramer::MaxHeaderBytes + 4 + SipStreamFramer::MaxBodyBytes;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckFramedAlone(const std::string& message)
{
    SipStreamFramer alone;
    alone.Feed(message.data(), message.size());
    const SipStreamFramer::Item item = alone.Next();
    Check(item.kind == SipStreamFramer::Kind::Message && item.text == message);
    Check(!alone.HoldsPartialMessage());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzEnvironment environment(NetworkConfinement::Level::NoTraffic);
    if (size == 0)
        return 0;
    const std::size_t chunk = 1 + data[0] % 64 * (data[0] >= 128 ? 1024 : 1);
    std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    SipStreamFramer framer;
    while (!input.empty()) {
        const std::size_t taken = std::min(chunk, input.size());
        framer.Feed(input.data(), taken);
        input.remove_prefix(taken);
        for (SipStreamFramer::Item item = framer.Next(); item.kind != SipStreamFramer::Kind::None;
             item = framer.Next()) {
            Check(!framer.Failed());
            if (item.kind == SipStreamFramer::Kind::Message) {
                Check(!item.text.empty() && item.text.size() <= LargestMessage);
                CheckFramedAlone(item.text);
            }
        }
        Check(framer.Held() <= LargestMessage + chunk);
        if (framer.Failed())
            Check(framer.Held() == 0 && !framer.HoldsPartialMessage() && !framer.Failure().empty());
    }
    return 0;
}
