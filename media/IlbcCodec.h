#pragma once

#include "media/FramedCodec.h"

#include <memory>

// iLBC (RFC 3951) through libilbc when the build found it; otherwise the object
// exists but is not Available() and refuses every call. Sends 30 ms frames
// (240 samples, 50 bytes); receives 30 ms or 20 ms frames (160 samples, 38 bytes)
// told apart by the payload size.
class IlbcCodec : public FramedCodec {
public:
    static constexpr FrameShape Mode30{240, 50};
    static constexpr FrameShape Mode20{160, 38};

    IlbcCodec();
    ~IlbcCodec() override;
    IlbcCodec(const IlbcCodec&) = delete;
    IlbcCodec& operator=(const IlbcCodec&) = delete;

    static bool BuiltIn();
    bool Available() const override { return BuiltIn(); }
    std::size_t PacketSamples() const override { return Mode30.samples; }
    // Frame length in ms the decoder is set up for.
    int DecoderModeMs() const { return decoderModeMs_; }

protected:
    FrameShape EncodeShape() const override { return Mode30; }
    std::optional<FrameShape> DecodeShape(std::size_t payloadBytes) const override;
    void PrepareDecode(const FrameShape& shape) override;
    int EncodeFrame(const std::int16_t* pcm, std::uint8_t* frame) override;
    int DecodeFrame(const std::uint8_t* frame, std::int16_t* pcm) override;

private:
    struct Library;
    std::unique_ptr<Library> library_;
    int decoderModeMs_ = 30;
};
