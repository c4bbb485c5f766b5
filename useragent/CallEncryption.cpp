#include "useragent/CallEncryption.h"

#include "platform/SecureRandom.h"
#include "sipsyntax/SdpDescription.h"

namespace {

constexpr const char* PlainProfile = "RTP/AVP";
constexpr const char* SecureProfile = "RTP/SAVP";

} // namespace

void CallEncryption::Begin(int mode, bool keysMayTravel)
{
    mode_ = IsMode(mode) ? mode : Off;
    keysMayTravel_ = keysMayTravel;
    localKeys_.clear();
    sent_.clear();
}

bool CallEncryption::LocalKey(const std::string& suite, SdpCrypto::KeySalt& key)
{
    auto found = localKeys_.find(suite);
    if (found == localKeys_.end()) {
        SdpCrypto::KeySalt drawn{};
        if (!SecureRandom::Fill(drawn))
            return false;
        found = localKeys_.emplace(suite, drawn).first;
    }
    key = found->second;
    return true;
}

void CallEncryption::Put(SdpOfferParams& params, const std::string& profile, std::vector<SdpCrypto> lines)
{
    params.profile = profile;
    params.cryptos.clear();
    for (const SdpCrypto& line : lines)
        params.cryptos.push_back(line.Format());
    sent_ = std::move(lines);
}

bool CallEncryption::Offer(SdpOfferParams& params)
{
    if (mode_ == Off || !keysMayTravel_) {
        Put(params, PlainProfile, {});
        return mode_ != Required;
    }
    std::vector<SdpCrypto> lines;
    for (const std::string& suite : SdpCrypto::Suites()) {
        SdpCrypto line;
        line.tag = static_cast<int>(lines.size()) + 1;
        line.suite = suite;
        if (!LocalKey(suite, line.keySalt))
            return false;
        lines.push_back(line);
    }
    Put(params, mode_ == Required ? SecureProfile : PlainProfile, std::move(lines));
    return true;
}

std::vector<SdpCrypto> CallEncryption::CryptosOf(const SdpDescription& sdp)
{
    std::vector<SdpCrypto> usable;
    for (const std::string& value : sdp.GetCryptoAttributes()) {
        if (auto crypto = SdpCrypto::Parse(value))
            usable.push_back(*crypto);
    }
    return usable;
}

bool CallEncryption::ChooseAnswerCrypto(const SdpDescription& offer, SdpCrypto& chosen) const
{
    if (mode_ == Off || !keysMayTravel_)
        return false;
    const std::vector<SdpCrypto> offered = CryptosOf(offer);
    if (offered.empty())
        return false;
    // The offerer lists its keys by preference.
    chosen = offered.front();
    return true;
}

bool CallEncryption::CanAnswer(const std::string& offer) const
{
    if (mode_ == Off || offer.empty())
        return true;
    SdpDescription description;
    if (!description.Parse(offer))
        return mode_ != Required;
    SdpCrypto chosen;
    if (ChooseAnswerCrypto(description, chosen))
        return true;
    // Without a key to answer with, only a plain offer can be answered, and only
    // when plain RTP will do.
    return mode_ != Required && description.GetMediaProfile() != SecureProfile;
}

bool CallEncryption::Answer(const std::string& offer, SdpOfferParams& params)
{
    if (!CanAnswer(offer))
        return false;
    SdpDescription description;
    SdpCrypto line;
    if (mode_ == Off || !description.Parse(offer) || !ChooseAnswerCrypto(description, line)) {
        Put(params, PlainProfile, {});
        return true;
    }
    if (!LocalKey(line.suite, line.keySalt))
        return false;
    Put(params, description.GetMediaProfile() == SecureProfile ? SecureProfile : PlainProfile, {line});
    return true;
}

CallEncryption::Outcome CallEncryption::KeysFor(const SdpDescription& peer, SrtpKeys& keys) const
{
    keys = {};
    if (mode_ == Off)
        return Outcome::Plain;
    for (const SdpCrypto& theirs : CryptosOf(peer)) {
        for (const SdpCrypto& ours : sent_) {
            if (theirs.tag == ours.tag && theirs.suite == ours.suite) {
                keys = {ours.suite, ours.keySalt, theirs.keySalt};
                return Outcome::Encrypted;
            }
        }
    }
    if (mode_ == Required || peer.GetMediaProfile() == SecureProfile)
        return Outcome::Refused;
    return Outcome::Plain;
}
