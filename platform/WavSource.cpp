#include "platform/WavSource.h"

#include <sndfile.h>
#include <speex/speex_resampler.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int ResamplerQuality = 5;

std::vector<float> ReadMono(SNDFILE* file, const SF_INFO& info)
{
    const auto channels = static_cast<std::size_t>(info.channels);
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * channels);
    const sf_count_t frames = sf_readf_float(file, interleaved.data(), info.frames);
    std::vector<float> mono(static_cast<std::size_t>(std::max<sf_count_t>(frames, 0)));
    for (std::size_t frame = 0; frame < mono.size(); ++frame) {
        float sum = 0.0f;
        for (std::size_t channel = 0; channel < channels; ++channel)
            sum += interleaved[frame * channels + channel];
        mono[frame] = sum / static_cast<float>(channels);
    }
    return mono;
}

std::vector<float> Resample(const std::vector<float>& input, int rate)
{
    if (rate == WavSource::SampleRate || input.empty())
        return input;
    int error = 0;
    SpeexResamplerState* resampler =
        speex_resampler_init(1, static_cast<spx_uint32_t>(rate), WavSource::SampleRate, ResamplerQuality, &error);
    if (resampler == nullptr)
        return {};
    std::vector<float> output(input.size() * WavSource::SampleRate / static_cast<std::size_t>(rate) + 64);
    auto inLength = static_cast<spx_uint32_t>(input.size());
    auto outLength = static_cast<spx_uint32_t>(output.size());
    speex_resampler_process_float(resampler, 0, input.data(), &inLength, output.data(), &outLength);
    speex_resampler_destroy(resampler);
    output.resize(outLength);
    return output;
}

} // namespace

std::optional<std::vector<std::int16_t>> WavSource::Load(const std::string& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr)
        return std::nullopt;
    const std::vector<float> mono = info.channels > 0 ? ReadMono(file, info) : std::vector<float>();
    sf_close(file);
    if (info.channels <= 0 || info.samplerate <= 0)
        return std::nullopt;
    const std::vector<float> resampled = Resample(mono, info.samplerate);
    std::vector<std::int16_t> samples(resampled.size());
    std::transform(resampled.begin(), resampled.end(), samples.begin(), [](float value) {
        return static_cast<std::int16_t>(std::lround(std::clamp(value * 32768.0f, -32768.0f, 32767.0f)));
    });
    return samples;
}
