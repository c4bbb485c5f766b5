#pragma once

#include "media/FramedCodec.h"

struct gsm_state;

// GSM 06.10 full rate through libgsm: 160 samples to 33 bytes, one frame per packet.
class GsmCodec : public FramedCodec {
public:
    GsmCodec();
    ~GsmCodec() override;
    GsmCodec(const GsmCodec&) = delete;
    GsmCodec& operator=(const GsmCodec&) = delete;

    std::size_t PacketSamples() const override { return 160; }

protected:
    FrameShape EncodeShape() const override { return {160, 33}; }
    int EncodeFrame(const std::int16_t* pcm, std::uint8_t* frame) override;
    int DecodeFrame(const std::uint8_t* frame, std::int16_t* pcm) override;

private:
    gsm_state* encoder_;
    gsm_state* decoder_;
};
