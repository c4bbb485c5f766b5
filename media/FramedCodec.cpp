#include "media/FramedCodec.h"

#include "media/CodecError.h"

std::size_t FramedCodec::EncodedBytes(std::size_t pcmSamples) const
{
    const FrameShape shape = EncodeShape();
    return pcmSamples / shape.samples * shape.bytes;
}

std::optional<FramedCodec::FrameShape> FramedCodec::DecodeShape(std::size_t payloadBytes) const
{
    const FrameShape shape = EncodeShape();
    if (payloadBytes % shape.bytes != 0)
        return std::nullopt;
    return shape;
}

std::size_t FramedCodec::DecodedSamples(std::size_t payloadBytes) const
{
    const auto shape = DecodeShape(payloadBytes);
    return shape ? payloadBytes / shape->bytes * shape->samples : 0;
}

bool FramedCodec::IsWholePayload(std::size_t payloadBytes) const
{
    return DecodeShape(payloadBytes).has_value();
}

int FramedCodec::Encode(std::span<const std::int16_t> pcm, std::span<std::uint8_t> payload,
                        std::size_t& bytesWritten)
{
    bytesWritten = 0;
    if (!Available())
        return CodecUnavailable;
    const FrameShape shape = EncodeShape();
    if (pcm.size() % shape.samples != 0)
        return CodecNotWholeFrames;
    if (payload.size() < EncodedBytes(pcm.size()))
        return CodecNoSpace;
    int result = CodecOk;
    for (std::size_t in = 0; in < pcm.size() && result == CodecOk; in += shape.samples) {
        result = EncodeFrame(pcm.data() + in, payload.data() + bytesWritten);
        if (result == CodecOk)
            bytesWritten += shape.bytes;
    }
    return result;
}

int FramedCodec::Decode(std::span<const std::uint8_t> payload, std::span<std::int16_t> pcm,
                        std::size_t& samplesWritten)
{
    samplesWritten = 0;
    if (!Available())
        return CodecUnavailable;
    if (payload.empty())
        return CodecOk;
    const auto shape = DecodeShape(payload.size());
    if (!shape)
        return CodecNotWholeFrames;
    if (pcm.size() < DecodedSamples(payload.size()))
        return CodecNoSpace;
    PrepareDecode(*shape);
    int result = CodecOk;
    for (std::size_t in = 0; in < payload.size() && result == CodecOk; in += shape->bytes) {
        result = DecodeFrame(payload.data() + in, pcm.data() + samplesWritten);
        if (result == CodecOk)
            samplesWritten += shape->samples;
    }
    return result;
}
