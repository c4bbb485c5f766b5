#include "media/IlbcCodec.h"

#include "media/CodecError.h"

#ifdef ORVSIP_HAVE_ILBC
#include <ilbc.h>

struct IlbcCodec::Library {
    IlbcEncoderInstance* encoder = nullptr;
    IlbcDecoderInstance* decoder = nullptr;

    Library()
    {
        WebRtcIlbcfix_EncoderCreate(&encoder);
        WebRtcIlbcfix_DecoderCreate(&decoder);
        WebRtcIlbcfix_EncoderInit(encoder, 30);
        WebRtcIlbcfix_DecoderInit(decoder, 30);
    }
    ~Library()
    {
        WebRtcIlbcfix_EncoderFree(encoder);
        WebRtcIlbcfix_DecoderFree(decoder);
    }
};

bool IlbcCodec::BuiltIn()
{
    return true;
}

IlbcCodec::IlbcCodec() : library_(std::make_unique<Library>())
{
}

IlbcCodec::~IlbcCodec() = default;

void IlbcCodec::PrepareDecode(const FrameShape& shape)
{
    const int modeMs = shape.samples == Mode20.samples ? 20 : 30;
    if (modeMs == decoderModeMs_)
        return;
    // Initialising the decoder also switches its enhancer on.
    WebRtcIlbcfix_DecoderInit(library_->decoder, static_cast<std::int16_t>(modeMs));
    decoderModeMs_ = modeMs;
}

int IlbcCodec::EncodeFrame(const std::int16_t* pcm, std::uint8_t* frame)
{
    const int bytes = WebRtcIlbcfix_Encode(library_->encoder, pcm, Mode30.samples, frame);
    return bytes == static_cast<int>(Mode30.bytes) ? CodecOk : CodecBadFrame;
}

int IlbcCodec::DecodeFrame(const std::uint8_t* frame, std::int16_t* pcm)
{
    const FrameShape shape = decoderModeMs_ == 20 ? Mode20 : Mode30;
    std::int16_t speechType = 0;
    const int samples = WebRtcIlbcfix_Decode(library_->decoder, frame, shape.bytes, pcm, &speechType);
    return samples == static_cast<int>(shape.samples) ? CodecOk : CodecBadFrame;
}

#else

struct IlbcCodec::Library {
};

bool IlbcCodec::BuiltIn()
{
    return false;
}

IlbcCodec::IlbcCodec() = default;

IlbcCodec::~IlbcCodec() = default;

// Without the library the codec refuses every call before reaching these.
void IlbcCodec::PrepareDecode(const FrameShape&)
{
}

int IlbcCodec::EncodeFrame(const std::int16_t*, std::uint8_t*)
{
    return CodecUnavailable;
}

int IlbcCodec::DecodeFrame(const std::uint8_t*, std::int16_t*)
{
    return CodecUnavailable;
}

#endif

std::optional<FramedCodec::FrameShape> IlbcCodec::DecodeShape(std::size_t payloadBytes) const
{
    if (payloadBytes % Mode30.bytes == 0)
        return Mode30;
    if (payloadBytes % Mode20.bytes == 0)
        return Mode20;
    return std::nullopt;
}
