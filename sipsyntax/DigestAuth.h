#pragma once

#include <string>

// A challenge of a 401 (WWW-Authenticate) or 407 (Proxy-Authenticate), with its
// double quotes removed and any qop reduced to "auth".
struct DigestChallenge {
    std::string realm;
    std::string qop;
    std::string nonce;
    std::string opaque;
};

// The values of one answer to a challenge.
struct DigestAnswer {
    std::string response;
    std::string cnonce;
    std::string nc;
};

// HTTP digest authentication with MD5 for SIP requests.
class DigestAuth {
public:
    static std::string Md5Hex(const std::string& text);
    static std::string CalcHA1(const std::string& username, const std::string& realm, const std::string& password);
    static std::string CalcResponse(const std::string& ha1, const std::string& nonce, const std::string& nc,
                                    const std::string& cnonce, const std::string& qop, const std::string& method,
                                    const std::string& digestUri);
    // nonceCount belongs to the caller (one per call, one for registration) and goes
    // up once for every answer with a qop.
    static DigestAnswer ComputeDigest(const std::string& username, const std::string& password,
                                      const std::string& method, const std::string& digestUri,
                                      const DigestChallenge& challenge, int& nonceCount);
    static std::string BuildAuthorizationValue(const std::string& username, const std::string& realm,
                                               const std::string& nonce, const std::string& digestUri,
                                               const std::string& cnonce, const std::string& nc,
                                               const std::string& opaque, const std::string& qop,
                                               const std::string& response);
    // The whole credential text for a challenge; empty when it cannot be made.
    static std::string Credentials(const std::string& username, const std::string& password,
                                   const std::string& method, const std::string& digestUri,
                                   const DigestChallenge& challenge, int& nonceCount);
    static std::string WithoutQuotes(std::string text);
};
