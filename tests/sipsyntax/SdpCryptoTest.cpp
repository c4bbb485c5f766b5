#include "sipsyntax/SdpCrypto.h"
#include "sipsyntax/SdpDescription.h"

#include <gtest/gtest.h>

namespace {

// 30 bytes: 0x00, 0x01 ... 0x1D.
const std::string Key = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwd";

} // namespace

TEST(SdpCrypto, ReadsTheKeysThisSideRunsAndWritesThemBackAlike)
{
    auto crypto = SdpCrypto::Parse("1 AES_CM_128_HMAC_SHA1_80 inline:" + Key);
    ASSERT_TRUE(crypto);
    EXPECT_EQ(crypto->tag, 1);
    EXPECT_EQ(crypto->suite, "AES_CM_128_HMAC_SHA1_80");
    for (std::size_t at = 0; at < SdpCrypto::KeySaltBytes; ++at)
        EXPECT_EQ(crypto->keySalt[at], at);
    EXPECT_EQ(crypto->Format(), "1 AES_CM_128_HMAC_SHA1_80 inline:" + Key);
    for (const char* tail : {"|2^31", "|2^48", "|2147483648", " WSH=64", "|2^31 WSH=128"}) {
        auto withTail = SdpCrypto::Parse("123456789 AES_CM_128_HMAC_SHA1_32 inline:" + Key + tail);
        ASSERT_TRUE(withTail) << tail;
        EXPECT_EQ(withTail->tag, 123456789);
        EXPECT_EQ(withTail->keySalt, crypto->keySalt);
    }

    // This side's own keys and an SDP with them read back as written.
    SdpOfferParams params;
    params.ownerUserName = "1001";
    params.sessionName = "OrvSoft";
    params.connectionAddress = params.originAddress = "127.0.0.1";
    params.profile = "RTP/SAVP";
    params.mediaPort = 7000;
    params.cryptos = {crypto->Format(), "2 AES_CM_128_HMAC_SHA1_32 inline:" + Key};
    SdpDescription written;
    std::string text;
    ASSERT_TRUE(written.BuildOffer(params, text));
    EXPECT_NE(text.find("m=audio 7000 RTP/SAVP 101\r\n"), std::string::npos) << text;
    SdpDescription read;
    ASSERT_TRUE(read.Parse(text));
    EXPECT_EQ(read.GetMediaProfile(), "RTP/SAVP");
    EXPECT_EQ(read.GetCryptoAttributes(), params.cryptos);
}

TEST(SdpCrypto, RefusesWhatItCannotRunOrDoesNotUnderstand)
{
    const std::string suite = " AES_CM_128_HMAC_SHA1_80 ";
    const std::string line = "1" + suite + "inline:" + Key;
    const std::vector<std::string> values = {
        "", "1", "1" + suite, "x" + suite + "inline:" + Key, "1234567890" + suite + "inline:" + Key,
        "-1" + suite + "inline:" + Key, "1 AES_256_CM_HMAC_SHA1_80 inline:" + Key,
        "1 aes_cm_128_hmac_sha1_80 inline:" + Key, "1" + suite + "uri:" + Key,
        "1" + suite + "inline:" + Key.substr(4), line + "AAAA", line + "==", "1" + suite + "inline:" + Key.substr(0, 39) + "!",
        line + "|2^20", line + "|1000", line + "|2^31|1:4", line + "|1:4", line + "|", line + "|2^x",
        line + "|99999999999999999999999", line + ";inline:" + Key, line + " UNENCRYPTED_SRTP", line + " KDR=1",
        line + " WSH="};
    for (const std::string& value : values)
        EXPECT_FALSE(SdpCrypto::Parse(value)) << value;
}
