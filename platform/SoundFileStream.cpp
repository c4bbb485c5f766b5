#include "platform/SoundFileStream.h"

#include <sndfile.h>
#include <speex/speex_resampler.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int ResamplerQuality = 5;

std::vector<float> MixDown(const std::vector<float>& interleaved, std::size_t frames, std::size_t channels)
{
    std::vector<float> mono(frames);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        float sum = 0.0f;
        for (std::size_t channel = 0; channel < channels; ++channel)
            sum += interleaved[frame * channels + channel];
        mono[frame] = sum / static_cast<float>(channels);
    }
    return mono;
}

std::int16_t ToSample(float value)
{
    return static_cast<std::int16_t>(std::lround(std::clamp(value * 32768.0f, -32768.0f, 32767.0f)));
}

} // namespace

SoundFileStream::SoundFileStream(sf_private_tag* file, int channels, int rate, std::int64_t frames)
    : file_(file), channels_(channels), rate_(rate), frames_(frames)
{
    if (rate_ != SampleRate) {
        int error = 0;
        resampler_ = speex_resampler_init(1, static_cast<spx_uint32_t>(rate_), SampleRate, ResamplerQuality, &error);
    }
}

SoundFileStream::~SoundFileStream()
{
    if (resampler_ != nullptr)
        speex_resampler_destroy(resampler_);
    sf_close(file_);
}

std::unique_ptr<SoundFileStream> SoundFileStream::Open(const std::string& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr)
        return nullptr;
    if (info.channels <= 0 || info.samplerate <= 0 || info.frames < 0) {
        sf_close(file);
        return nullptr;
    }
    auto stream = std::unique_ptr<SoundFileStream>(new SoundFileStream(file, info.channels, info.samplerate, info.frames));
    if (stream->rate_ != SampleRate && stream->resampler_ == nullptr)
        return nullptr;
    return stream;
}

std::vector<std::int16_t> SoundFileStream::Read(std::int64_t fileFrames)
{
    const auto channels = static_cast<std::size_t>(channels_);
    std::vector<float> interleaved(static_cast<std::size_t>(std::max<std::int64_t>(fileFrames, 0)) * channels);
    const sf_count_t read = sf_readf_float(file_, interleaved.data(), static_cast<sf_count_t>(fileFrames));
    std::vector<float> mono = MixDown(interleaved, static_cast<std::size_t>(std::max<sf_count_t>(read, 0)), channels);
    if (resampler_ != nullptr) {
        std::vector<float> output(mono.size() * SampleRate / static_cast<std::size_t>(rate_) + 64);
        auto inLength = static_cast<spx_uint32_t>(mono.size());
        auto outLength = static_cast<spx_uint32_t>(output.size());
        speex_resampler_process_float(resampler_, 0, mono.data(), &inLength, output.data(), &outLength);
        output.resize(outLength);
        mono.swap(output);
    }
    std::vector<std::int16_t> samples(mono.size());
    std::transform(mono.begin(), mono.end(), samples.begin(), ToSample);
    return samples;
}

bool SoundFileStream::SeekFrame(std::int64_t fileFrame)
{
    if (resampler_ != nullptr)
        speex_resampler_reset_mem(resampler_);
    return sf_seek(file_, static_cast<sf_count_t>(fileFrame), SEEK_SET) >= 0;
}
