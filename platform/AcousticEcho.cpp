#include "platform/AcousticEcho.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// A microphone that stalls lets at most this much played audio pile up.
constexpr std::size_t SlackSamples = AcousticEcho::SampleRate / 5;

} // namespace

AcousticEcho::AcousticEcho(int delayMs, double attenuationDb)
    : delayMs_(delayMs), attenuationDb_(attenuationDb), gain_(std::pow(10.0, -attenuationDb / 20.0))
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

std::size_t AcousticEcho::DelaySamples() const
{
    return static_cast<std::size_t>(delayMs_) * SampleRate / 1000;
}

void AcousticEcho::StartListening()
{
    std::lock_guard lock(mutex_);
    air_.clear();
    listening_ = true;
    delayLaid_ = false;
}

void AcousticEcho::StopListening()
{
    std::lock_guard lock(mutex_);
    air_.clear();
    listening_ = false;
}

void AcousticEcho::Play(std::span<const std::int16_t> samples)
{
    std::lock_guard lock(mutex_);
    if (!listening_)
        return;
    if (!delayLaid_)
        air_.assign(DelaySamples(), 0.0f);
    delayLaid_ = true;
    for (std::int16_t sample : samples)
        air_.push_back(static_cast<float>(sample * gain_));
    while (air_.size() > DelaySamples() + SlackSamples)
        air_.pop_front();
}

void AcousticEcho::AddTo(std::span<std::int16_t> samples)
{
    std::lock_guard lock(mutex_);
    for (std::int16_t& sample : samples) {
        if (air_.empty()) {
            // The speaker fell silent: its next sound comes after the delay again.
            delayLaid_ = false;
            return;
        }
        const float mixed = static_cast<float>(sample) + air_.front();
        air_.pop_front();
        sample = static_cast<std::int16_t>(std::lround(std::clamp(mixed, -32768.0f, 32767.0f)));
    }
}
