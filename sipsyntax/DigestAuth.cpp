#include "sipsyntax/DigestAuth.h"

#include "platform/Clock.h"
#include "sipsyntax/OsipText.h"

#include <osipparser2/osip_message.h>
#include <osipparser2/osip_md5.h>

#include <cstdio>

std::string DigestAuth::WithoutQuotes(std::string text)
{
    std::erase(text, '"');
    return text;
}

std::string DigestAuth::Md5Hex(const std::string& text)
{
    osip_MD5_CTX context;
    unsigned char digest[16];
    osip_MD5Init(&context);
    osip_MD5Update(&context, reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())),
                   static_cast<unsigned int>(text.size()));
    osip_MD5Final(digest, &context);
    static const char hexDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : digest) {
        hex += hexDigits[byte >> 4];
        hex += hexDigits[byte & 0x0F];
    }
    return hex;
}

std::string DigestAuth::CalcHA1(const std::string& username, const std::string& realm, const std::string& password)
{
    return Md5Hex(username + ":" + realm + ":" + password);
}

std::string DigestAuth::CalcResponse(const std::string& ha1, const std::string& nonce, const std::string& nc,
                                     const std::string& cnonce, const std::string& qop, const std::string& method,
                                     const std::string& digestUri)
{
    std::string ha2 = Md5Hex(method + ":" + digestUri);
    if (qop.empty())
        return Md5Hex(ha1 + ":" + nonce + ":" + ha2);
    return Md5Hex(ha1 + ":" + nonce + ":" + nc + ":" + cnonce + ":" + qop + ":" + ha2);
}

DigestAnswer DigestAuth::ComputeDigest(const std::string& username, const std::string& password,
                                       const std::string& method, const std::string& digestUri,
                                       const DigestChallenge& challenge, int& nonceCount)
{
    std::string realm = WithoutQuotes(challenge.realm);
    std::string qop = WithoutQuotes(challenge.qop);
    std::string nonce = WithoutQuotes(challenge.nonce);
    DigestAnswer answer;
    if (!qop.empty()) {
        char text[16];
        std::snprintf(text, sizeof text, "%x", Clock::TickCount());
        answer.cnonce = text;
        std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(++nonceCount));
        answer.nc = text;
    }
    answer.response = CalcResponse(CalcHA1(username, realm, password), nonce, answer.nc, answer.cnonce, qop,
                                   method, digestUri);
    return answer;
}

std::string DigestAuth::BuildAuthorizationValue(const std::string& username, const std::string& realm,
                                                const std::string& nonce, const std::string& digestUri,
                                                const std::string& cnonce, const std::string& nc,
                                                const std::string& opaque, const std::string& qop,
                                                const std::string& response)
{
    osip_authorization_t* record = nullptr;
    if (osip_authorization_init(&record) != 0)
        return {};
    auto quoted = [](const std::string& value) { return OsipText::Copy("\"" + value + "\""); };
    osip_authorization_set_auth_type(record, OsipText::Copy("Digest"));
    osip_authorization_set_username(record, quoted(username));
    if (!realm.empty())
        osip_authorization_set_realm(record, quoted(realm));
    osip_authorization_set_nonce(record, quoted(nonce));
    osip_authorization_set_uri(record, quoted(digestUri));
    osip_authorization_set_response(record, quoted(response));
    osip_authorization_set_algorithm(record, OsipText::Copy("MD5"));
    if (!cnonce.empty())
        osip_authorization_set_cnonce(record, quoted(cnonce));
    if (!opaque.empty())
        osip_authorization_set_opaque(record, quoted(opaque));
    if (!qop.empty())
        osip_authorization_set_message_qop(record, OsipText::Copy(qop));
    if (!nc.empty())
        osip_authorization_set_nonce_count(record, OsipText::Copy(nc));
    char* printed = nullptr;
    osip_authorization_to_str(record, &printed);
    osip_authorization_free(record);
    return OsipText::Take(printed);
}

std::string DigestAuth::Credentials(const std::string& username, const std::string& password,
                                    const std::string& method, const std::string& digestUri,
                                    const DigestChallenge& challenge, int& nonceCount)
{
    DigestAnswer answer = ComputeDigest(username, password, method, digestUri, challenge, nonceCount);
    return BuildAuthorizationValue(username, WithoutQuotes(challenge.realm), WithoutQuotes(challenge.nonce),
                                   digestUri, answer.cnonce, answer.nc, WithoutQuotes(challenge.opaque),
                                   WithoutQuotes(challenge.qop), answer.response);
}
