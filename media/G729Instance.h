#pragma once

#include "media/CodecInstance.h"

#include <memory>

struct bcg729EncoderChannelContextStruct_struct;
struct bcg729DecoderChannelContextStruct_struct;

// G.729 Annex A at 8 kbit/s through bcg729, without voice activity detection:
// 80 samples to 10 bytes. An instance encodes or decodes, never both.
class G729Instance : public CodecInstance {
public:
    static constexpr int FrameSamples = 80;
    static constexpr int FrameBytes = 10;

    static std::unique_ptr<CodecInstance> Open(int direction, int& result);
    explicit G729Instance(int direction);
    ~G729Instance() override;
    G729Instance(const G729Instance&) = delete;
    G729Instance& operator=(const G729Instance&) = delete;

    FrameInfo Info() const override { return {FrameSamples, FrameBytes}; }
    int EncodeFrame(const std::int16_t* pcm, std::uint8_t* out, int& bytes) override;
    int DecodeFrame(const std::uint8_t* in, int available, int& used, std::int16_t* pcm,
                    int& samples) override;

private:
    bcg729EncoderChannelContextStruct_struct* encoder_ = nullptr;
    bcg729DecoderChannelContextStruct_struct* decoder_ = nullptr;
};
