// Fuzz target: the SDES keys of a peer's SDP (its a=crypto lines) as a call reads
// them in every media encryption mode, over signalling that may carry keys and over
// signalling that may not: whether an offer can be answered, the answer built to it,
// the keys taken from it, and the keys taken from it as the answer to this side's
// offer. Every key line read must write back as read, and every line this side
// writes must read back as written.

#include "tests/fuzz/FuzzEnvironment.h"

#include "sipsyntax/SdpCrypto.h"
#include "sipsyntax/SdpDescription.h"
#include "useragent/CallEncryption.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void CheckWritten(const SdpOfferParams& params)
{
    for (const std::string& line : params.cryptos) {
        const auto read = SdpCrypto::Parse(line);
        if (!read || read->Format() != line)
            std::abort();
    }
}

void Answer(const std::string& text, const SdpDescription& offer, int mode, bool keysMayTravel)
{
    CallEncryption encryption;
    encryption.Begin(mode, keysMayTravel);
    SdpOfferParams answer;
    const bool answered = encryption.Answer(text, answer);
    if (answered != encryption.CanAnswer(text))
        std::abort();
    CheckWritten(answer);
    SrtpKeys keys;
    const auto outcome = encryption.KeysFor(offer, keys);
    // A key answered is a key taken; nothing is taken without one.
    if (answered && (outcome == CallEncryption::Outcome::Encrypted) != !answer.cryptos.empty())
        std::abort();
    if (!keysMayTravel && !answer.cryptos.empty())
        std::abort();
}

void TakeAnswer(const SdpDescription& answer, int mode)
{
    CallEncryption encryption;
    encryption.Begin(mode, true);
    SdpOfferParams offer;
    if (!encryption.Offer(offer))
        std::abort();
    CheckWritten(offer);
    SrtpKeys keys;
    if (encryption.KeysFor(answer, keys) == CallEncryption::Outcome::Encrypted &&
        keys.suite != SdpCrypto::Parse(offer.cryptos.front())->suite &&
        keys.suite != SdpCrypto::Parse(offer.cryptos.back())->suite)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzEnvironment environment(NetworkConfinement::Level::NoTraffic);
    const std::string text = FuzzEnvironment::Text(data, size);
    if (const auto line = SdpCrypto::Parse(text); line && SdpCrypto::Parse(line->Format())->keySalt != line->keySalt)
        std::abort();
    SdpDescription peer;
    if (!peer.Parse(text))
        return 0;
    for (const std::string& value : peer.GetCryptoAttributes()) {
        if (const auto line = SdpCrypto::Parse(value); line && !SdpCrypto::Parse(line->Format()))
            std::abort();
    }
    for (int mode = CallEncryption::Off; mode <= CallEncryption::Required; ++mode) {
        Answer(text, peer, mode, true);
        Answer(text, peer, mode, false);
        if (mode != CallEncryption::Off)
            TakeAnswer(peer, mode);
    }
    return 0;
}
