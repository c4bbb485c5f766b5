#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// One codec of a media line: 8000 Hz 16-bit mono PCM in and out, one encoder and
// one decoder state. Every call returns 0 or a negative CodecError and reports
// what it produced (0 on failure).
class VoiceCodec {
public:
    virtual ~VoiceCodec() = default;

    virtual bool Available() const { return true; }
    // PCM samples the sender gathers for one packet.
    virtual std::size_t PacketSamples() const = 0;
    virtual std::size_t EncodedBytes(std::size_t pcmSamples) const = 0;
    virtual std::size_t DecodedSamples(std::size_t payloadBytes) const = 0;
    virtual bool IsWholePayload(std::size_t payloadBytes) const = 0;

    virtual int Encode(std::span<const std::int16_t> pcm, std::span<std::uint8_t> payload,
                       std::size_t& bytesWritten) = 0;
    virtual int Decode(std::span<const std::uint8_t> payload, std::span<std::int16_t> pcm,
                       std::size_t& samplesWritten) = 0;
};
