#include "media/EchoGainProcessor.h"

#include <speex/speex_echo.h>
#include <speex/speex_preprocess.h>

#include <algorithm>
#include <array>

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
    std::array<std::int16_t, FrameSamples> microphone;
    std::copy(block.begin(), block.end(), microphone.begin());
    std::array<std::int16_t, FrameSamples> reference{};
    std::lock_guard lock(mutex_);
    if (reference_.SizeBytes() >= BlockFifo::BlockBytes) {
        reference_.Read(reference);
        if (!echoNoiseEnabled_)
            reference.fill(0);
    }
    speex_echo_cancellation(echo_, microphone.data(), reference.data(), block.data());
    speex_preprocess_run(preprocess_, block.data());
}

void EchoGainProcessor::WriteReference(ConstBlock block)
{
    std::lock_guard lock(mutex_);
    reference_.Write(block);
}

void EchoGainProcessor::ResetEcho()
{
    std::lock_guard lock(mutex_);
    ResetEchoLocked();
}

void EchoGainProcessor::ResetEchoLocked()
{
    reference_.Clear();
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
    return reference_.SizeBytes();
}
