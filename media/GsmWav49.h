#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

struct gsm_state;

// GSM 06.10 in the packing of WAV files of format 49: two frames, 320 samples, in
// one 65-byte block. Encoding and decoding keep their own library states, so a
// stream runs on across calls; Reset starts both afresh.
class GsmWav49 {
public:
    static constexpr std::size_t BlockSamples = 320;
    static constexpr std::size_t BlockBytes = 65;

    GsmWav49();
    ~GsmWav49();
    GsmWav49(const GsmWav49&) = delete;
    GsmWav49& operator=(const GsmWav49&) = delete;

    void Reset();
    // Whole blocks only: `pcm` holds blocks x 320 samples and `blocks` x 65 bytes
    // of room; a trailing part of a block is left alone. Returns the blocks done.
    std::size_t Encode(std::span<const std::int16_t> pcm, std::span<std::uint8_t> blocks);
    std::size_t Decode(std::span<const std::uint8_t> blocks, std::span<std::int16_t> pcm);

private:
    gsm_state* encoder_ = nullptr;
    gsm_state* decoder_ = nullptr;
};
