#pragma once

#include <cstdint>

// One open encoder or decoder of a codec registered with the codec engine.
class CodecInstance {
public:
    struct FrameInfo {
        int inSamplesPerFrame;
        int outBytesPerFrame;
    };

    virtual ~CodecInstance() = default;
    virtual FrameInfo Info() const = 0;
    // Encodes one frame of Info().inSamplesPerFrame samples; `bytes` gets what it wrote.
    virtual int EncodeFrame(const std::int16_t* pcm, std::uint8_t* out, int& bytes) = 0;
    // Decodes at most one frame from `available` bytes; reports the bytes it used
    // (0 when fewer than a frame are available) and the samples it produced.
    virtual int DecodeFrame(const std::uint8_t* in, int available, int& used, std::int16_t* pcm,
                            int& samples) = 0;
};
