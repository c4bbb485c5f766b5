#include "sipsyntax/DigestAuth.h"
#include "sipsyntax/SipMessage.h"

#include <gtest/gtest.h>

TEST(DigestAuth, WorkedExampleOfRfc2617)
{
    std::string ha1 = DigestAuth::CalcHA1("Mufasa", "testrealm@host.com", "Circle Of Life");
    EXPECT_EQ(DigestAuth::CalcResponse(ha1, "dcd98b7102dd2f0e8b11d0f600bfb0c093", "00000001", "0a4f113b", "auth",
                                       "GET", "/dir/index.html"),
              "6629fae49393a05397450978507c4ef1");
}

TEST(DigestAuth, Md5OfKnownTexts)
{
    EXPECT_EQ(DigestAuth::Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(DigestAuth::Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(DigestAuth, WithoutQopTheResponseSkipsNcAndCnonce)
{
    int counter = 0;
    DigestChallenge challenge{"\"asterisk\"", "", "\"abc\"", ""};
    DigestAnswer answer = DigestAuth::ComputeDigest("1001", "pw", "REGISTER", "sip:127.0.0.1", challenge, counter);
    EXPECT_EQ(counter, 0);
    EXPECT_TRUE(answer.cnonce.empty());
    EXPECT_TRUE(answer.nc.empty());
    std::string ha1 = DigestAuth::Md5Hex("1001:asterisk:pw");
    std::string ha2 = DigestAuth::Md5Hex("REGISTER:sip:127.0.0.1");
    EXPECT_EQ(answer.response, DigestAuth::Md5Hex(ha1 + ":abc:" + ha2));
    std::string credentials = DigestAuth::Credentials("1001", "pw", "REGISTER", "sip:127.0.0.1", challenge, counter);
    EXPECT_EQ(credentials, "Digest username=\"1001\", realm=\"asterisk\", nonce=\"abc\", uri=\"sip:127.0.0.1\", "
                           "response=\"" + answer.response + "\", algorithm=MD5");
}

TEST(DigestAuth, WithQopTheCounterRunsAndTheFieldsComeInOrder)
{
    int counter = 0;
    DigestChallenge challenge{"r", "auth", "n", "op"};
    std::string first = DigestAuth::Credentials("u", "p", "INVITE", "sip:b@127.0.0.1", challenge, counter);
    EXPECT_EQ(counter, 1);
    std::string second = DigestAuth::Credentials("u", "p", "INVITE", "sip:b@127.0.0.1", challenge, counter);
    EXPECT_NE(first.find(", qop=auth, nc=00000001"), std::string::npos) << first;
    EXPECT_NE(second.find(", qop=auth, nc=00000002"), std::string::npos) << second;
    std::size_t username = first.find("Digest username=\"u\"");
    std::size_t realm = first.find(", realm=\"r\"");
    std::size_t nonce = first.find(", nonce=\"n\"");
    std::size_t uri = first.find(", uri=\"sip:b@127.0.0.1\"");
    std::size_t response = first.find(", response=\"");
    std::size_t algorithm = first.find(", algorithm=MD5, cnonce=\"");
    std::size_t opaque = first.find(", opaque=\"op\"");
    EXPECT_EQ(username, 0u);
    EXPECT_LT(realm, nonce);
    EXPECT_LT(nonce, uri);
    EXPECT_LT(uri, response);
    EXPECT_LT(response, algorithm);
    EXPECT_LT(algorithm, opaque);
    EXPECT_NE(opaque, std::string::npos);
}

TEST(DigestAuth, NoRealmMeansNoRealmParameterAndDoubleColonInHa1)
{
    int counter = 0;
    DigestChallenge challenge{"", "", "n", ""};
    DigestAnswer answer = DigestAuth::ComputeDigest("u", "p", "BYE", "sip:x", challenge, counter);
    EXPECT_EQ(answer.response, DigestAuth::CalcResponse(DigestAuth::Md5Hex("u::p"), "n", "", "", "", "BYE", "sip:x"));
    EXPECT_EQ(DigestAuth::Credentials("u", "p", "BYE", "sip:x", challenge, counter).find("realm"), std::string::npos);
}

TEST(DigestAuth, ChallengesAreReadWithQuotesRemovedAndQopForcedToAuth)
{
    SipMessage m;
    ASSERT_TRUE(m.Parse("SIP/2.0 401 Unauthorized\r\nVia: SIP/2.0/UDP 127.0.0.1\r\nFrom: <sip:a@h>;tag=1\r\n"
                        "To: <sip:a@h>;tag=2\r\nCall-ID: x\r\nCSeq: 1 REGISTER\r\n"
                        "WWW-Authenticate: Digest realm=\"127.0.0.1\", nonce=\"XyZ\", qop=\"auth,auth-int\", "
                        "opaque=\"o1\", algorithm=MD5\r\nContent-Length: 0\r\n\r\n"));
    DigestChallenge c;
    ASSERT_TRUE(m.GetWwwChallenge(c));
    EXPECT_EQ(c.realm, "127.0.0.1");
    EXPECT_EQ(c.nonce, "XyZ");
    EXPECT_EQ(c.qop, "auth");
    EXPECT_EQ(c.opaque, "o1");
    EXPECT_FALSE(m.GetProxyChallenge(c));
    ASSERT_TRUE(m.Parse("SIP/2.0 407 Proxy Authentication Required\r\nVia: SIP/2.0/UDP 127.0.0.1\r\n"
                        "From: <sip:a@h>;tag=1\r\nTo: <sip:a@h>;tag=2\r\nCall-ID: x\r\nCSeq: 1 INVITE\r\n"
                        "Proxy-Authenticate: Digest realm=\"p\", nonce=\"n\", qop=\"auth-int\"\r\n"
                        "Content-Length: 0\r\n\r\n"));
    ASSERT_TRUE(m.GetProxyChallenge(c));
    EXPECT_EQ(c.qop, "auth");
    EXPECT_EQ(c.opaque, "");
}
