#pragma once

#include <array>
#include <string>
#include <vector>

// The voice codecs offered, in preference order (first = most preferred), as three
// parallel lists: payload types, rtpmap texts and names.
class CodecList {
public:
    static constexpr int CodecCount = 5; // 0 GSM, 1 iLBC, 2 PCMA, 3 PCMU, 4 G729

    // Whether this build can run the codec at all.
    static bool IsAvailable(int codecNo);
    static bool IsValid(int codecNo) { return codecNo >= 0 && codecNo < CodecCount; }
    // "GSM" 0, "iLBC" 1, "PCMU" 3, "G729" 4, anything else 2.
    static int CodecIndexOfName(const std::string& name);

    // The selection Initialize and SelectAllVoiceCodec make: G729, GSM, iLBC, PCMA, PCMU.
    static CodecList DefaultSelection();
    // The lists of a call before it dials or answers: GSM, iLBC, PCMA, PCMU, G729.
    static CodecList CallDefault();

    void SelectAll();
    void DeselectAll();
    // Appends the codec, first removing it where it already stood.
    void Select(int codecNo);
    void Deselect(int codecNo);
    // An empty selection becomes PCMU, PCMA.
    void ApplyFallback();

    bool Empty() const { return names_.empty(); }
    const std::vector<std::string>& PayloadTypes() const { return payloadTypes_; }
    const std::vector<std::string>& RtpMaps() const { return rtpMaps_; }
    const std::vector<std::string>& Names() const { return names_; }
    // The first of this list's names that the peer offers, or "" when none.
    std::string FirstCommon(const std::array<std::string, 5>& peerNames) const;

private:
    void Append(int codecNo);
    void Remove(int codecNo);

    std::vector<std::string> payloadTypes_;
    std::vector<std::string> rtpMaps_;
    std::vector<std::string> names_;
};
