#include "media/G729Instance.h"

#include "media/CodecError.h"

extern "C" {
#include <bcg729/decoder.h>
#include <bcg729/encoder.h>
}

std::unique_ptr<CodecInstance> G729Instance::Open(int direction, int& result)
{
    if (direction != 0 && direction != 1) {
        result = CodecWrongDirection;
        return nullptr;
    }
    result = CodecOk;
    return std::make_unique<G729Instance>(direction);
}

G729Instance::G729Instance(int direction)
{
    if (direction == 0)
        encoder_ = initBcg729EncoderChannel(0);
    else
        decoder_ = initBcg729DecoderChannel();
}

G729Instance::~G729Instance()
{
    if (encoder_ != nullptr)
        closeBcg729EncoderChannel(encoder_);
    if (decoder_ != nullptr)
        closeBcg729DecoderChannel(decoder_);
}

int G729Instance::EncodeFrame(const std::int16_t* pcm, std::uint8_t* out, int& bytes)
{
    bytes = 0;
    if (encoder_ == nullptr)
        return CodecWrongDirection;
    std::uint8_t length = 0;
    bcg729Encoder(encoder_, pcm, out, &length);
    bytes = length;
    return CodecOk;
}

int G729Instance::DecodeFrame(const std::uint8_t* in, int available, int& used, std::int16_t* pcm,
                              int& samples)
{
    used = 0;
    samples = 0;
    if (decoder_ == nullptr)
        return CodecWrongDirection;
    if (available < FrameBytes)
        return CodecOk;
    bcg729Decoder(decoder_, in, FrameBytes, 0, 0, 0, pcm);
    used = FrameBytes;
    samples = FrameSamples;
    return CodecOk;
}
