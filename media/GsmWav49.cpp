#include "media/GsmWav49.h"

#include <gsm.h>

#include <algorithm>
#include <array>

namespace {

constexpr std::size_t FrameSamples = 160;
// The first frame of a block takes 32 bytes and a half; the encoder writes 32 and
// then 33 bytes, the decoder reads 33 and then 32.
constexpr std::size_t FirstEncoded = 32;
constexpr std::size_t FirstDecoded = 33;

gsm_state* CreateWav49()
{
    gsm_state* state = gsm_create();
    int on = 1;
    gsm_option(state, GSM_OPT_WAV49, &on);
    return state;
}

} // namespace

GsmWav49::GsmWav49()
{
    Reset();
}

GsmWav49::~GsmWav49()
{
    gsm_destroy(encoder_);
    gsm_destroy(decoder_);
}

void GsmWav49::Reset()
{
    if (encoder_ != nullptr)
        gsm_destroy(encoder_);
    if (decoder_ != nullptr)
        gsm_destroy(decoder_);
    encoder_ = CreateWav49();
    decoder_ = CreateWav49();
}

std::size_t GsmWav49::Encode(std::span<const std::int16_t> pcm, std::span<std::uint8_t> blocks)
{
    const std::size_t count = std::min(pcm.size() / BlockSamples, blocks.size() / BlockBytes);
    std::array<gsm_signal, FrameSamples> frame;
    for (std::size_t block = 0; block < count; ++block) {
        const std::int16_t* in = pcm.data() + block * BlockSamples;
        gsm_byte* out = blocks.data() + block * BlockBytes;
        std::copy_n(in, FrameSamples, frame.begin());
        gsm_encode(encoder_, frame.data(), out);
        std::copy_n(in + FrameSamples, FrameSamples, frame.begin());
        gsm_encode(encoder_, frame.data(), out + FirstEncoded);
    }
    return count;
}

std::size_t GsmWav49::Decode(std::span<const std::uint8_t> blocks, std::span<std::int16_t> pcm)
{
    const std::size_t count = std::min(blocks.size() / BlockBytes, pcm.size() / BlockSamples);
    std::array<gsm_byte, BlockBytes> bytes;
    for (std::size_t block = 0; block < count; ++block) {
        std::copy_n(blocks.data() + block * BlockBytes, BlockBytes, bytes.begin());
        std::int16_t* out = pcm.data() + block * BlockSamples;
        // A frame that does not decode plays as silence.
        if (gsm_decode(decoder_, bytes.data(), out) != 0)
            std::fill_n(out, FrameSamples, 0);
        if (gsm_decode(decoder_, bytes.data() + FirstDecoded, out + FrameSamples) != 0)
            std::fill_n(out + FrameSamples, FrameSamples, 0);
    }
    return count;
}
