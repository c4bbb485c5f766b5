#include "media/EchoGainProcessor.h"

#include <speex/speex_echo.h>
#include <speex/speex_preprocess.h>

#include <algorithm>
#include <array>
#include <cstdlib>

EchoGainProcessor::EchoGainProcessor()
    : echo_(speex_echo_state_init(FrameSamples, TailSamples)),
      preprocess_(speex_preprocess_state_init(FrameSamples, SampleRate))
{
    int rate = SampleRate;
    speex_echo_ctl(echo_, SPEEX_ECHO_SET_SAMPLING_RATE, &rate);
    int denoise = 1;
    speex_preprocess_ctl(preprocess_, SPEEX_PREPROCESS_SET_DENOISE, &denoise);
    // The preprocessor takes the residual echo estimate from the canceller.
    speex_preprocess_ctl(preprocess_, SPEEX_PREPROCESS_SET_ECHO_STATE, echo_);
    ApplyAgcLocked(false, DefaultAgcLevel);
}

EchoGainProcessor::~EchoGainProcessor()
{
    speex_preprocess_state_destroy(preprocess_);
    speex_echo_state_destroy(echo_);
}

void EchoGainProcessor::Process(Block block)
{
    if (!echoNoiseEnabled_ && !agcEnabled_)
        return;
    Samples microphone;
    std::copy(block.begin(), block.end(), microphone.begin());
    Samples reference{};
    std::lock_guard lock(mutex_);
    TakeReference(reference);
    if (!echoNoiseEnabled_)
        reference.fill(0);
    SetCancellerResting(NoteSilence(reference));
    if (!resting_)
        speex_echo_cancellation(echo_, microphone.data(), reference.data(), block.data());
    speex_preprocess_run(preprocess_, block.data());
}

bool EchoGainProcessor::NoteSilence(const Samples& reference)
{
    constexpr std::int64_t TailBlocks = TailSamples / FrameSamples;
    const bool silent = std::all_of(reference.begin(), reference.end(), [](std::int16_t sample) { return sample == 0; });
    silentBlocks_ = silent ? silentBlocks_ + 1 : 0;
    return silentBlocks_ > TailBlocks;
}

// A resting canceller has no residual echo to tell the suppressor of.
void EchoGainProcessor::SetCancellerResting(bool resting)
{
    if (resting == resting_)
        return;
    resting_ = resting;
    speex_preprocess_ctl(preprocess_, SPEEX_PREPROCESS_SET_ECHO_STATE, resting ? nullptr : echo_);
}

bool EchoGainProcessor::CancellerResting()
{
    std::lock_guard lock(mutex_);
    return resting_;
}

// The played block this microphone block meets: silence before anything was
// played; the newest when the speaker is a little late; the two meet afresh when
// one side stopped for longer than the blocks kept.
void EchoGainProcessor::TakeReference(Samples& reference)
{
    const std::int64_t captured = capturedCount_++;
    const std::int64_t newest = playedCount_ - 1;
    if (newest < 0)
        return;
    if (!lag_ || std::abs(captured + *lag_ - newest) >= ReferenceBlocks) {
        lag_ = newest - 1 - captured;
        checked_ = 0;
    }
    const std::int64_t wanted = std::min(captured + *lag_, newest);
    if (wanted >= 0)
        reference = played_[static_cast<std::size_t>(wanted % ReferenceBlocks)];
    CheckMatch(newest - (captured + *lag_));
}

void EchoGainProcessor::CheckMatch(std::int64_t ahead)
{
    ahead_[checked_++] = ahead;
    if (checked_ < CheckBlocks)
        return;
    checked_ = 0;
    const std::int64_t oldest = *std::min_element(ahead_.begin(), ahead_.end());
    auto middle = ahead_.begin() + CheckBlocks / 2;
    std::nth_element(ahead_.begin(), middle, ahead_.end());
    if (oldest > 1)
        *lag_ += oldest - 1;
    else if (*middle < 0)
        *lag_ += *middle;
}

void EchoGainProcessor::WriteReference(ConstBlock block)
{
    std::lock_guard lock(mutex_);
    std::copy(block.begin(), block.end(), played_[static_cast<std::size_t>(playedCount_ % ReferenceBlocks)].begin());
    ++playedCount_;
}

void EchoGainProcessor::ResetEcho()
{
    std::lock_guard lock(mutex_);
    ResetEchoLocked();
}

void EchoGainProcessor::ResetEchoLocked()
{
    playedCount_ = 0;
    capturedCount_ = 0;
    lag_.reset();
    checked_ = 0;
    silentBlocks_ = 0;
    SetCancellerResting(false);
    speex_echo_state_reset(echo_);
}

void EchoGainProcessor::EnableEchoNoiseCancellation()
{
    std::lock_guard lock(mutex_);
    echoNoiseEnabled_ = true;
    ResetEchoLocked();
    if (agcEnabled_)
        ApplyAgcLocked(true, static_cast<float>(static_cast<int>(agcLevel_)));
}

void EchoGainProcessor::DisableEchoNoiseCancellation()
{
    std::lock_guard lock(mutex_);
    echoNoiseEnabled_ = false;
}

// The level is kept within the library's range, so turning it back into a whole
// number later cannot overflow.
void EchoGainProcessor::EnableAgc(float level)
{
    std::lock_guard lock(mutex_);
    agcLevel_ = ClampedAgcLevel(level);
    ApplyAgcLocked(true, agcLevel_);
    agcEnabled_ = true;
}

void EchoGainProcessor::DisableAgc()
{
    std::lock_guard lock(mutex_);
    agcLevel_ = DefaultAgcLevel;
    ApplyAgcLocked(false, DefaultAgcLevel);
    agcEnabled_ = false;
}

float EchoGainProcessor::ClampedAgcLevel(float level)
{
    // NaN falls to the minimum too.
    return level >= MinAgcLevel ? std::min(level, MaxAgcLevel) : MinAgcLevel;
}

void EchoGainProcessor::ApplyAgcLocked(bool enabled, float level)
{
    float clamped = ClampedAgcLevel(level);
    speex_preprocess_ctl(preprocess_, SPEEX_PREPROCESS_SET_AGC_LEVEL, &clamped);
    int on = enabled ? 1 : 0;
    speex_preprocess_ctl(preprocess_, SPEEX_PREPROCESS_SET_AGC, &on);
}

float EchoGainProcessor::PreprocessorAgcLevel()
{
    std::lock_guard lock(mutex_);
    float level = 0.0f;
    speex_preprocess_ctl(preprocess_, SPEEX_PREPROCESS_GET_AGC_LEVEL, &level);
    return level;
}

std::size_t EchoGainProcessor::ReferenceBytes()
{
    std::lock_guard lock(mutex_);
    const std::int64_t met = lag_ ? capturedCount_ + *lag_ : 0;
    const std::int64_t waiting = std::clamp<std::int64_t>(playedCount_ - met, 0, ReferenceBlocks);
    return static_cast<std::size_t>(waiting) * FrameSamples * 2;
}

std::optional<std::array<std::int16_t, EchoGainProcessor::FrameSamples>> EchoGainProcessor::NewestReference()
{
    std::lock_guard lock(mutex_);
    if (playedCount_ == 0)
        return std::nullopt;
    return played_[static_cast<std::size_t>((playedCount_ - 1) % ReferenceBlocks)];
}
