#include "platform/AcousticEcho.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Played audio kept: a microphone thread held up this long still hears it.
constexpr std::size_t KeptSamples = AcousticEcho::SampleRate + AcousticEcho::SampleRate * AcousticEcho::MaxDelayMs / 1000;

} // namespace

AcousticEcho::AcousticEcho(int delayMs, double attenuationDb)
    : delayMs_(delayMs), attenuationDb_(attenuationDb),
      gain_(static_cast<float>(std::pow(10.0, -attenuationDb / 20.0))), played_(KeptSamples, 0.0f)
{
}

std::shared_ptr<AcousticEcho> AcousticEcho::Parse(const std::string& text)
{
    const char* start = text.c_str();
    char* end = nullptr;
    const long delay = std::strtol(start, &end, 10);
    if (end == start || *end != ',')
        return nullptr;
    const char* second = end + 1;
    const double attenuation = std::strtod(second, &end);
    if (end == second || *end != '\0' || delay < 0 || delay > MaxDelayMs || !(attenuation >= 0.0) ||
        attenuation > MaxAttenuationDb)
        return nullptr;
    return std::make_shared<AcousticEcho>(static_cast<int>(delay), attenuation);
}

std::int64_t AcousticEcho::DistanceSamples() const
{
    return static_cast<std::int64_t>(delayMs_) * SampleRate / 1000 + BlockSamples;
}

void AcousticEcho::StartListening()
{
    std::lock_guard lock(mutex_);
    listening_ = true;
    heard_ = playedCount_ - DistanceSamples();
}

void AcousticEcho::StopListening()
{
    std::lock_guard lock(mutex_);
    listening_ = false;
}

void AcousticEcho::StartPlaying()
{
    std::lock_guard lock(mutex_);
    std::fill(played_.begin(), played_.end(), 0.0f);
    // What the speaker plays from now is heard after the delay.
    if (listening_)
        playedCount_ = heard_ + DistanceSamples();
}

void AcousticEcho::Play(std::span<const std::int16_t> samples)
{
    std::lock_guard lock(mutex_);
    for (std::int16_t sample : samples)
        played_[static_cast<std::size_t>(playedCount_++ % static_cast<std::int64_t>(KeptSamples))] = sample * gain_;
}

void AcousticEcho::AddTo(std::span<std::int16_t> samples)
{
    std::lock_guard lock(mutex_);
    if (!listening_)
        return;
    const std::int64_t kept = static_cast<std::int64_t>(KeptSamples);
    for (std::int16_t& sample : samples) {
        const std::int64_t wanted = heard_++;
        if (wanted < 0 || wanted >= playedCount_ || wanted < playedCount_ - kept)
            continue;
        const float mixed = static_cast<float>(sample) + played_[static_cast<std::size_t>(wanted % kept)];
        sample = static_cast<std::int16_t>(std::lround(std::clamp(mixed, -32768.0f, 32767.0f)));
    }
}
