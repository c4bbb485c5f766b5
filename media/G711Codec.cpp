#include "media/G711Codec.h"

#include "media/CodecError.h"

int G711Codec::Encode(std::span<const std::int16_t> pcm, std::span<std::uint8_t> payload,
                      std::size_t& bytesWritten)
{
    bytesWritten = 0;
    if (payload.size() < pcm.size())
        return CodecNoSpace;
    for (std::size_t i = 0; i < pcm.size(); ++i)
        payload[i] = G711Tables::Encode(law_, pcm[i]);
    bytesWritten = pcm.size();
    return CodecOk;
}

int G711Codec::Decode(std::span<const std::uint8_t> payload, std::span<std::int16_t> pcm,
                      std::size_t& samplesWritten)
{
    samplesWritten = 0;
    if (pcm.size() < payload.size())
        return CodecNoSpace;
    for (std::size_t i = 0; i < payload.size(); ++i)
        pcm[i] = G711Tables::Decode(law_, payload[i]);
    samplesWritten = payload.size();
    return CodecOk;
}
