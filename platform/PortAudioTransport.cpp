#include "platform/PortAudioTransport.h"

#include "platform/WaveBackend.h"

#include <portaudio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace {
constexpr double SampleRate = 8000.0;
constexpr unsigned long BlockFrames = 80;
constexpr double BlockSeconds = BlockFrames / SampleRate;
} // namespace

int PortAudioTransport::BlocksFor(double latencySeconds)
{
    // A latency of whole blocks stays whole though its binary fraction may come out
    // a hair above (0.07 s is 7.000000000000001 blocks); NaN falls to the minimum.
    const double blocks = std::ceil(latencySeconds / BlockSeconds - 1e-6);
    if (!(blocks >= MinBlocksAhead))
        return MinBlocksAhead;
    return static_cast<int>(std::min(blocks, static_cast<double>(WaveBackend::MaxBlocksAhead)));
}

std::unique_ptr<PortAudioTransport> PortAudioTransport::Open(WaveDirection direction, int deviceIndex)
{
    const PaDeviceInfo* info = Pa_GetDeviceInfo(deviceIndex);
    if (info == nullptr)
        return nullptr;
    const bool capture = direction == WaveDirection::Capture;
    PaStreamParameters parameters{};
    parameters.device = deviceIndex;
    parameters.channelCount = 1;
    parameters.sampleFormat = paInt16;
    parameters.suggestedLatency = capture ? info->defaultLowInputLatency : info->defaultLowOutputLatency;
    PaStream* stream = nullptr;
    const PaError error = Pa_OpenStream(&stream, capture ? &parameters : nullptr, capture ? nullptr : &parameters,
                                        SampleRate, BlockFrames, paClipOff, nullptr, nullptr);
    if (error != paNoError)
        return nullptr;
    return std::unique_ptr<PortAudioTransport>(
        new PortAudioTransport(direction, stream, BlocksFor(info->defaultLowOutputLatency)));
}

PortAudioTransport::~PortAudioTransport()
{
    if (started_)
        Pa_AbortStream(stream_);
    Pa_CloseStream(stream_);
}

bool PortAudioTransport::Start()
{
    started_ = Pa_StartStream(stream_) == paNoError;
    return started_;
}

std::size_t PortAudioTransport::Transfer(std::span<std::int16_t> samples)
{
    const auto frames = static_cast<unsigned long>(samples.size());
    const PaError error = direction_ == WaveDirection::Capture ? Pa_ReadStream(stream_, samples.data(), frames)
                                                               : Pa_WriteStream(stream_, samples.data(), frames);
    if (error == paNoError || error == paInputOverflowed || error == paOutputUnderflowed)
        return samples.size();
    // A device that went away: keep the pace so the stream's owner sees time pass.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return 0;
}
