#pragma once

#include "media/FramedCodec.h"

struct CodecLibHandle;

// G.729 Annex A through the codec engine (identifier 19): 80 samples to 10 bytes,
// one frame per packet.
class G729Codec : public FramedCodec {
public:
    G729Codec();
    ~G729Codec() override;
    G729Codec(const G729Codec&) = delete;
    G729Codec& operator=(const G729Codec&) = delete;

    std::size_t PacketSamples() const override { return 80; }

protected:
    FrameShape EncodeShape() const override { return {80, 10}; }
    int EncodeFrame(const std::int16_t* pcm, std::uint8_t* frame) override;
    int DecodeFrame(const std::uint8_t* frame, std::int16_t* pcm) override;

private:
    CodecLibHandle* encoder_ = nullptr;
    CodecLibHandle* decoder_ = nullptr;
};
