#pragma once

#include "media/G711Tables.h"
#include "media/VoiceCodec.h"

// G.711 PCMA or PCMU: one byte per sample, 20 ms (160 samples) per packet.
class G711Codec : public VoiceCodec {
public:
    explicit G711Codec(G711Law law) : law_(law) {}

    G711Law Law() const { return law_; }
    std::size_t PacketSamples() const override { return 160; }
    std::size_t EncodedBytes(std::size_t pcmSamples) const override { return pcmSamples; }
    std::size_t DecodedSamples(std::size_t payloadBytes) const override { return payloadBytes; }
    bool IsWholePayload(std::size_t) const override { return true; }

    int Encode(std::span<const std::int16_t> pcm, std::span<std::uint8_t> payload,
               std::size_t& bytesWritten) override;
    int Decode(std::span<const std::uint8_t> payload, std::span<std::int16_t> pcm,
               std::size_t& samplesWritten) override;

private:
    const G711Law law_;
};
