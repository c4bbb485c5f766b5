#include "media/GsmCodec.h"

#include "media/CodecError.h"

#include <gsm.h>

#include <array>

GsmCodec::GsmCodec() : encoder_(gsm_create()), decoder_(gsm_create())
{
}

GsmCodec::~GsmCodec()
{
    gsm_destroy(encoder_);
    gsm_destroy(decoder_);
}

int GsmCodec::EncodeFrame(const std::int16_t* pcm, std::uint8_t* frame)
{
    // libgsm takes a non-const signal pointer but does not write through it.
    std::array<gsm_signal, 160> samples;
    std::copy(pcm, pcm + samples.size(), samples.begin());
    gsm_encode(encoder_, samples.data(), frame);
    return CodecOk;
}

int GsmCodec::DecodeFrame(const std::uint8_t* frame, std::int16_t* pcm)
{
    std::array<gsm_byte, 33> bytes;
    std::copy(frame, frame + bytes.size(), bytes.begin());
    return gsm_decode(decoder_, bytes.data(), pcm) == 0 ? CodecOk : CodecBadFrame;
}
