// Fuzz target: a 401 or 407 answer's digest challenge read and answered, as a call
// or the registration answers it. The request carrying the answer must read back
// with the same credentials: a hostile realm, nonce or opaque must never break the
// request this side sends.

#include "tests/fuzz/FuzzEnvironment.h"

#include "sipsyntax/DigestAuth.h"
#include "sipsyntax/SipMessage.h"

#include <osipparser2/osip_parser.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

constexpr const char* Request = "INVITE sip:200@127.0.0.1:5070 SIP/2.0\r\n"
                                "Via: SIP/2.0/UDP 127.0.0.1:5060;branch=z9hG4bK1;rport\r\n"
                                "From: <sip:1001@127.0.0.1>;tag=1\r\n"
                                "To: <sip:200@127.0.0.1:5070>\r\n"
                                "Call-ID: digest@127.0.0.1\r\n"
                                "CSeq: 2 INVITE\r\n"
                                "Content-Length: 0\r\n\r\n";

// The digest response of the first (Proxy-)Authorization of a request's text; empty
// when the text does not parse or carries none.
std::string ResponseIn(const std::string& text, bool proxy)
{
    osip_message_t* message = nullptr;
    if (osip_message_init(&message) != 0)
        return {};
    std::string response;
    osip_authorization_t* header = nullptr;
    if (osip_message_parse(message, text.data(), text.size()) == 0) {
        int found = proxy ? osip_message_get_proxy_authorization(message, 0, &header)
                          : osip_message_get_authorization(message, 0, &header);
        if (found >= 0 && header != nullptr && header->response != nullptr)
            response = DigestAuth::WithoutQuotes(header->response);
    }
    osip_message_free(message);
    return response;
}

bool IsDigest(const std::string& response)
{
    return response.size() == 32 && response.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// Whatever the challenge says, the request sent with its answer reads back whole,
// with a well-formed digest.
void Answer(const DigestChallenge& challenge, bool proxy, int& nonceCount)
{
    std::string credentials =
        DigestAuth::Credentials("1001", "secret", "INVITE", "sip:200@127.0.0.1:5070", challenge, nonceCount);
    SipMessage request;
    if (credentials.empty() || !request.Parse(Request))
        return;
    if (!(proxy ? request.SetProxyAuthorization(credentials) : request.SetAuthorization(credentials)))
        return;
    std::string sent = request.ToText();
    SipMessage reread;
    if (!reread.Parse(sent) || !IsDigest(ResponseIn(sent, proxy)))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzEnvironment environment(NetworkConfinement::Level::NoTraffic);
    SipMessage response;
    if (!response.Parse(FuzzEnvironment::Text(data, size)))
        return 0;
    int nonceCount = 0;
    DigestChallenge challenge;
    if (response.GetWwwChallenge(challenge))
        Answer(challenge, false, nonceCount);
    if (response.GetProxyChallenge(challenge))
        Answer(challenge, true, nonceCount);
    return 0;
}
