#pragma once

#include "media/VoiceCodec.h"

#include <optional>

// A codec of fixed frames. Encode and Decode take whole frames only, check the
// output space first and leave the per-frame work to the codec.
class FramedCodec : public VoiceCodec {
public:
    struct FrameShape {
        std::size_t samples;
        std::size_t bytes;
    };

    std::size_t EncodedBytes(std::size_t pcmSamples) const override;
    std::size_t DecodedSamples(std::size_t payloadBytes) const override;
    bool IsWholePayload(std::size_t payloadBytes) const override;

    int Encode(std::span<const std::int16_t> pcm, std::span<std::uint8_t> payload,
               std::size_t& bytesWritten) override;
    int Decode(std::span<const std::uint8_t> payload, std::span<std::int16_t> pcm,
               std::size_t& samplesWritten) override;

protected:
    virtual FrameShape EncodeShape() const = 0;
    // The frames a payload of this size is made of; none refuses the payload.
    virtual std::optional<FrameShape> DecodeShape(std::size_t payloadBytes) const;
    // Called once per accepted payload before its frames are decoded.
    virtual void PrepareDecode(const FrameShape&) {}
    virtual int EncodeFrame(const std::int16_t* pcm, std::uint8_t* frame) = 0;
    virtual int DecodeFrame(const std::uint8_t* frame, std::int16_t* pcm) = 0;
};
