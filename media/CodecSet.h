#pragma once

#include "media/G711Codec.h"
#include "media/G729Codec.h"
#include "media/GsmCodec.h"
#include "media/IlbcCodec.h"

// The five codecs of one media line, reached by codec index: 0 GSM, 1 iLBC,
// 2 PCMA, 3 PCMU, 4 G.729.
class CodecSet {
public:
    static constexpr int Gsm = 0;
    static constexpr int Ilbc = 1;
    static constexpr int Pcma = 2;
    static constexpr int Pcmu = 3;
    static constexpr int G729 = 4;

    // nullptr for an index that names no codec.
    VoiceCodec* At(int codecIndex);
    // Whether the codec can run in this build (iLBC only with libilbc).
    static bool IsAvailable(int codecIndex);

private:
    GsmCodec gsm_;
    IlbcCodec ilbc_;
    G711Codec pcma_{G711Law::ALaw};
    G711Codec pcmu_{G711Law::MuLaw};
    G729Codec g729_;
};
