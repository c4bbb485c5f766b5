#include "media/CodecSet.h"

VoiceCodec* CodecSet::At(int codecIndex)
{
    switch (codecIndex) {
    case Gsm:
        return &gsm_;
    case Ilbc:
        return &ilbc_;
    case Pcma:
        return &pcma_;
    case Pcmu:
        return &pcmu_;
    case G729:
        return &g729_;
    default:
        return nullptr;
    }
}

bool CodecSet::IsAvailable(int codecIndex)
{
    if (codecIndex == Ilbc)
        return IlbcCodec::BuiltIn();
    return codecIndex >= Gsm && codecIndex <= G729;
}
