#pragma once

#include "media/SrtpSession.h"
#include "sipsyntax/SdpCrypto.h"

#include <map>
#include <string>
#include <vector>

class SdpDescription;
struct SdpOfferParams;

// What a call's SDP says of SRTP with SDES keys (RFC 4568), and the keys that follow
// from it. This side's keys are drawn for each call, one per suite, and kept across
// its re-INVITEs; the peer's are taken from each SDP it sends.
class CallEncryption {
public:
    enum Mode {
        Off = 0,      // plain RTP, SDES keys neither offered nor taken
        Offered = 1,  // keys offered beside RTP/AVP and taken when the peer offers them
        Required = 2, // RTP/SAVP only: a call without SRTP fails
    };
    static bool IsMode(int mode) { return mode >= Off && mode <= Required; }
    // The error of a call that needs encryption it cannot have.
    static constexpr int Unavailable = 41;

    enum class Outcome { Plain, Encrypted, Refused };

    // mode: the user agent's setting as the call begins; keysMayTravel: the call's
    // signalling keeps a key in its SDP private (TLS all the way this side can tell).
    void Begin(int mode, bool keysMayTravel);

    // Fills in the profile and crypto lines of this side's offer; false when the call
    // needs keys it may not send (nothing is to be sent then).
    bool Offer(SdpOfferParams& params);
    // The same for this side's answer to the peer's offer; false when the offer cannot
    // be answered as the mode asks (the request is then refused).
    bool Answer(const std::string& offer, SdpOfferParams& params);
    // Whether a new call's offer can be answered at all.
    bool CanAnswer(const std::string& offer) const;
    // The keys the peer's SDP (its answer to this side's last SDP, or the offer that
    // SDP answered) gives with this side's: Refused when the call cannot go on as the
    // mode asks.
    Outcome KeysFor(const SdpDescription& peer, SrtpKeys& keys) const;

private:
    // The usable crypto lines of an SDP, in its order.
    static std::vector<SdpCrypto> CryptosOf(const SdpDescription& sdp);
    // The peer's first line of a suite this side runs, when keys may travel.
    bool ChooseAnswerCrypto(const SdpDescription& offer, SdpCrypto& chosen) const;
    // This side's key for a suite, drawn on first use; false when no random bytes came.
    bool LocalKey(const std::string& suite, SdpCrypto::KeySalt& key);
    void Put(SdpOfferParams& params, const std::string& profile, std::vector<SdpCrypto> lines);

    int mode_ = Off;
    bool keysMayTravel_ = false;
    std::map<std::string, SdpCrypto::KeySalt> localKeys_;
    // The crypto lines of the last SDP this side sent.
    std::vector<SdpCrypto> sent_;
};
