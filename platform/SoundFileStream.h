#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sf_private_tag;
struct SpeexResamplerState_;

// A sound file of any format libsndfile decodes, read piece by piece as 8000 Hz
// 16-bit mono: channels are averaged and other rates resampled.
class SoundFileStream {
public:
    static constexpr int SampleRate = 8000;

    ~SoundFileStream();
    SoundFileStream(const SoundFileStream&) = delete;
    SoundFileStream& operator=(const SoundFileStream&) = delete;

    // Null when libsndfile cannot read the file, or it has no channels or no rate.
    static std::unique_ptr<SoundFileStream> Open(const std::string& path);

    int FileRate() const { return rate_; }
    std::int64_t FileFrames() const { return frames_; }
    // Up to `fileFrames` frames of the file from the current position, converted;
    // empty at the end.
    std::vector<std::int16_t> Read(std::int64_t fileFrames);
    bool SeekFrame(std::int64_t fileFrame);

private:
    SoundFileStream(sf_private_tag* file, int channels, int rate, std::int64_t frames);

    sf_private_tag* file_;
    SpeexResamplerState_* resampler_ = nullptr;
    int channels_;
    int rate_;
    std::int64_t frames_;
};
