#include "useragent/CallEncryption.h"

#include "sipsyntax/SdpDescription.h"

#include <gtest/gtest.h>

namespace {

const std::string Key80 = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwd";
const std::string Key32 = "HRwbGhkYFxYVFBMSERAPDg0MCwoJCAcGBQQDAgEA";

std::string PeerSdp(const std::string& profile, const std::vector<std::string>& cryptos = {})
{
    std::string text = "v=0\r\no=- 1 1 IN IP4 127.0.0.5\r\ns=x\r\nc=IN IP4 127.0.0.5\r\nt=0 0\r\nm=audio 4000 " +
                       profile + " 0\r\n";
    for (const std::string& crypto : cryptos)
        text += "a=crypto:" + crypto + "\r\n";
    return text;
}

CallEncryption::Outcome KeysFor(const CallEncryption& encryption, const std::string& peer, SrtpKeys& keys)
{
    SdpDescription description;
    EXPECT_TRUE(description.Parse(peer));
    return encryption.KeysFor(description, keys);
}

} // namespace

TEST(CallEncryption, OffersKeysOnlyWhereTheyMayTravelAndTakesTheAnswerOfOneOfThem)
{
    using Outcome = CallEncryption::Outcome;
    CallEncryption encryption;
    SdpOfferParams params;
    encryption.Begin(CallEncryption::Off, true);
    EXPECT_TRUE(encryption.Offer(params));
    EXPECT_EQ(params.profile, "RTP/AVP");
    EXPECT_TRUE(params.cryptos.empty());
    encryption.Begin(CallEncryption::Offered, false);
    EXPECT_TRUE(encryption.Offer(params));
    EXPECT_TRUE(params.cryptos.empty()) << "no key where signalling is in clear";
    encryption.Begin(CallEncryption::Required, false);
    EXPECT_FALSE(encryption.Offer(params));

    encryption.Begin(CallEncryption::Offered, true);
    ASSERT_TRUE(encryption.Offer(params));
    EXPECT_EQ(params.profile, "RTP/AVP");
    ASSERT_EQ(params.cryptos.size(), 2u);
    const auto first = SdpCrypto::Parse(params.cryptos[0]);
    const auto second = SdpCrypto::Parse(params.cryptos[1]);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->suite, "AES_CM_128_HMAC_SHA1_80");
    EXPECT_EQ(second->suite, "AES_CM_128_HMAC_SHA1_32");
    EXPECT_NE(first->keySalt, second->keySalt);
    SdpOfferParams again;
    ASSERT_TRUE(encryption.Offer(again));
    EXPECT_EQ(again.cryptos, params.cryptos) << "a re-offer keeps the keys";

    SrtpKeys keys;
    EXPECT_EQ(KeysFor(encryption, PeerSdp("RTP/AVP", {"2 AES_CM_128_HMAC_SHA1_32 inline:" + Key80}), keys),
              Outcome::Encrypted);
    EXPECT_EQ(keys.suite, "AES_CM_128_HMAC_SHA1_32");
    EXPECT_EQ(keys.send, second->keySalt);
    EXPECT_EQ(keys.receive, SdpCrypto::Parse("1 AES_CM_128_HMAC_SHA1_32 inline:" + Key80)->keySalt);
    for (const std::string& unmatched : {"2 AES_CM_128_HMAC_SHA1_80 inline:" + Key80, "3 AES_CM_128_HMAC_SHA1_32 inline:" + Key80})
        EXPECT_EQ(KeysFor(encryption, PeerSdp("RTP/AVP", {unmatched}), keys), Outcome::Plain) << unmatched;
    EXPECT_FALSE(keys.Encrypted());
    EXPECT_EQ(KeysFor(encryption, PeerSdp("RTP/SAVP"), keys), Outcome::Refused);

    CallEncryption other;
    other.Begin(CallEncryption::Offered, true);
    SdpOfferParams otherOffer;
    ASSERT_TRUE(other.Offer(otherOffer));
    EXPECT_NE(otherOffer.cryptos, params.cryptos) << "every call draws its own keys";

    encryption.Begin(CallEncryption::Required, true);
    ASSERT_TRUE(encryption.Offer(params));
    EXPECT_EQ(params.profile, "RTP/SAVP");
    EXPECT_EQ(KeysFor(encryption, PeerSdp("RTP/AVP"), keys), Outcome::Refused);
}

TEST(CallEncryption, AnswersAnOfferAsTheModeAndTheSignallingAllow)
{
    const std::string keyed = PeerSdp("RTP/AVP", {"5 AES_256_CM_HMAC_SHA1_80 inline:" + Key80 + Key32.substr(0, 20),
                                                  "7 AES_CM_128_HMAC_SHA1_32 inline:" + Key32,
                                                  "8 AES_CM_128_HMAC_SHA1_80 inline:" + Key80});
    const std::string secure = PeerSdp("RTP/SAVP", {"7 AES_CM_128_HMAC_SHA1_32 inline:" + Key32});
    const std::string plain = PeerSdp("RTP/AVP");
    struct Case {
        int mode;
        bool keysMayTravel;
        const std::string& offer;
        bool answered;
        const char* profile;
        bool keyed;
    };
    const Case cases[] = {
        {CallEncryption::Off, true, secure, true, "RTP/AVP", false},
        {CallEncryption::Offered, true, keyed, true, "RTP/AVP", true},
        {CallEncryption::Offered, true, secure, true, "RTP/SAVP", true},
        {CallEncryption::Offered, true, plain, true, "RTP/AVP", false},
        {CallEncryption::Offered, false, keyed, true, "RTP/AVP", false},
        {CallEncryption::Offered, false, secure, false, "", false},
        {CallEncryption::Required, true, keyed, true, "RTP/AVP", true},
        {CallEncryption::Required, true, plain, false, "", false},
        {CallEncryption::Required, false, secure, false, "", false},
        {CallEncryption::Required, true, "v=0\r\nbroken", false, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + " " + std::to_string(c.keysMayTravel) + " " + c.offer);
        CallEncryption encryption;
        encryption.Begin(c.mode, c.keysMayTravel);
        EXPECT_EQ(encryption.CanAnswer(c.offer), c.answered);
        SdpOfferParams params;
        ASSERT_EQ(encryption.Answer(c.offer, params), c.answered);
        if (!c.answered)
            continue;
        EXPECT_EQ(params.profile, c.profile);
        SrtpKeys keys;
        ASSERT_EQ(params.cryptos.size(), c.keyed ? 1u : 0u);
        EXPECT_EQ(KeysFor(encryption, c.offer, keys), c.keyed ? CallEncryption::Outcome::Encrypted
                                                               : CallEncryption::Outcome::Plain);
        if (!c.keyed)
            continue;
        // The offerer's first key of a suite this side runs, answered under its tag.
        const auto answer = SdpCrypto::Parse(params.cryptos[0]);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->tag, 7);
        EXPECT_EQ(keys.suite, "AES_CM_128_HMAC_SHA1_32");
        EXPECT_EQ(keys.send, answer->keySalt);
        EXPECT_EQ(keys.receive, SdpCrypto::Parse("7 AES_CM_128_HMAC_SHA1_32 inline:" + Key32)->keySalt);
    }
}
