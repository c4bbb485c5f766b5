#pragma once

#include <array>
#include <string>
#include <vector>

struct sdp_message;

// What a local offer or answer carries.
struct SdpOfferParams {
    std::string ownerUserName; // the login id; "-" when empty
    std::string sessionName;
    std::string direction;     // attribute without value, e.g. "sendrecv"; empty for none
    std::string connectionAddress;
    std::string originAddress;
    int mediaPort = 0;
    std::vector<std::string> payloads; // decimal payload numbers, in preference order
    std::vector<std::string> rtpMaps;  // parallel to payloads, e.g. "PCMU/8000"
    // RTCP's port: announced with a=rtcp (RFC 3605) unless it is mediaPort + 1; 0 for none.
    int rtcpPort = 0;
    // a=rtcp-mux (RFC 5761): RTCP may share the RTP port.
    bool rtcpMux = false;
    std::string profile = "RTP/AVP";   // the m= line's transport: RTP/AVP, or RTP/SAVP for SRTP only
    std::vector<std::string> cryptos{}; // a=crypto values (SDES keys), in order
};

// Where a peer's SDP says it takes RTCP: a=rtcp's port and address, when it has one.
struct SdpRtcp {
    int port = 0;
    std::string address;
    bool multiplexed = false;
};

// Payload numbers of the codecs a peer offers; -1 for a codec not offered.
struct CodecPayloads {
    int gsm = -1;
    int ilbc = -1;
    int pcma = -1;
    int pcmu = -1;
    int g729 = -1;
};

// One SDP body: the single audio offer/answer shape this user agent sends, and the
// few facts it reads from a peer's SDP.
class SdpDescription {
public:
    static constexpr const char* NoCodec = "ORVVOIP";
    using CodecNames = std::array<std::string, 5>; // GSM, iLBC, PCMU, PCMA, G729 slots

    SdpDescription() = default;
    ~SdpDescription();
    SdpDescription(const SdpDescription&) = delete;
    SdpDescription& operator=(const SdpDescription&) = delete;

    bool Init();
    bool Parse(const std::string& text);
    void Free();
    bool BuildOffer(const SdpOfferParams& params, std::string& output);
    std::string ToText() const;

    bool GetConnectionAddress(std::string& address) const;
    bool GetMediaPort(int& port) const;
    std::string GetDirection() const;
    void GetCodecMap(CodecNames& names, CodecPayloads& payloads, int& telephoneEventPayload) const;
    // The packet time the peer asks for (a=ptime of the audio, else of the session) in
    // milliseconds; 0 when it asks for none or for no sensible one.
    int GetPacketTime() const;
    // a=rtcp-mux and a=rtcp of the audio; a port of 0 (and no address) when a=rtcp is
    // missing or unreadable.
    SdpRtcp GetRtcp() const;
    // The transport of the audio's m= line ("RTP/AVP", "RTP/SAVP"...); empty without one.
    std::string GetMediaProfile() const;
    // The values of the audio's a=crypto attributes, in order.
    std::vector<std::string> GetCryptoAttributes() const;

private:
    const char* AttributeValue(int media, const char* name) const;
    bool HasAttribute(int media, const char* name) const;
    void AddMediaAttribute(const std::string& name, const std::string& value);

    sdp_message* sdp_ = nullptr;
    std::string raw_;
};
