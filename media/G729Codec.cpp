#include "media/G729Codec.h"

#include "media/CodecError.h"
#include "media/CodecLib.h"
#include "media/CodecRegistry.h"

namespace {
constexpr int Encoding = 0;
constexpr int Decoding = 1;
constexpr int NoTrace = 0;
} // namespace

G729Codec::G729Codec()
{
    codecLibOpen(&encoder_, CodecRegistry::G729Identifier, Encoding, NoTrace);
    codecLibOpen(&decoder_, CodecRegistry::G729Identifier, Decoding, NoTrace);
}

G729Codec::~G729Codec()
{
    codecLibClose(encoder_, NoTrace);
    codecLibClose(decoder_, NoTrace);
}

int G729Codec::EncodeFrame(const std::int16_t* pcm, std::uint8_t* frame)
{
    const FrameShape shape = EncodeShape();
    int samples = static_cast<int>(shape.samples);
    int bytes = static_cast<int>(shape.bytes);
    const int result = codecLibEncode(encoder_, pcm, &samples, frame, &bytes, nullptr, NoTrace);
    return result == CodecOk && bytes == static_cast<int>(shape.bytes) ? CodecOk : CodecBadFrame;
}

int G729Codec::DecodeFrame(const std::uint8_t* frame, std::int16_t* pcm)
{
    const FrameShape shape = EncodeShape();
    int bytes = static_cast<int>(shape.bytes);
    int samples = static_cast<int>(shape.samples);
    const int result = codecLibDecode(decoder_, frame, &bytes, pcm, &samples, nullptr, NoTrace);
    return result == CodecOk && samples == static_cast<int>(shape.samples) ? CodecOk : CodecBadFrame;
}
