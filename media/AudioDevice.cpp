#include "media/AudioDevice.h"

#include "media/MediaError.h"
#include "media/MixerVolumes.h"

#include <algorithm>

namespace {

constexpr std::size_t BlockBytes = AudioDevice::BlockSamples * 2;

void SetUpBuffers(std::vector<std::int16_t>& data, WaveBlock* blocks, std::atomic<int>* states, int count)
{
    data.assign(static_cast<std::size_t>(count) * AudioDevice::BlockSamples, 0);
    for (int slot = 0; slot < count; ++slot) {
        blocks[slot] = {data.data() + static_cast<std::size_t>(slot) * AudioDevice::BlockSamples, BlockBytes, 0,
                        slot};
        states[slot] = AudioDevice::BufferFree;
    }
}

std::vector<int> StatesOf(const std::atomic<int>* states, int count)
{
    return std::vector<int>(states, states + count);
}

} // namespace

AudioDevice::AudioDevice(AudioDeviceOwner& owner, WaveBackend& backend) : owner_(owner), backend_(backend)
{
    SetUpBuffers(captureData_, captureBlocks_.data(), captureStates_.data(), CaptureBuffers);
    SetUpBuffers(playbackData_, playbackBlocks_.data(), playbackStates_.data(), PlaybackBuffers);
}

AudioDevice::~AudioDevice()
{
    CloseCapture();
    ClosePlayback();
}

int AudioDevice::OpenCapture(int deviceId)
{
    std::lock_guard lock(streamsMutex_);
    auto opened = backend_.Open(WaveDirection::Capture, deviceId,
                                [this](WaveNotice notice, WaveBlock* block) { OnCaptureNotice(notice, block); });
    if (opened == nullptr)
        return MediaCaptureOpenFailed;
    opened->SetBlocksPerWake(blocksPerWake_);
    CloseCaptureLocked();
    capture_ = std::move(opened);
    echoGain_.ResetEcho();
    microphoneMuted_ = false;
    heldBlock_.fill(0);
    const bool queued = QueueCaptureBuffers();
    microphoneMeter_.Reset();
    captureRunning_ = queued;
    if (!queued || !capture_->Start()) {
        CloseCaptureLocked();
        return MediaCaptureOpenFailed;
    }
    captureHandle_ = nextHandle_++;
    RestoreCaptureControls();
    return MediaOk;
}

void AudioDevice::RestoreCaptureControls()
{
    if (microphoneVolume_)
        MixerVolumes::SetMicrophoneVolume(*capture_, *microphoneVolume_);
    if (microphoneBoost_)
        MixerVolumes::SetMicrophoneBoost(*capture_, *microphoneBoost_);
}

void AudioDevice::RestorePlaybackControls()
{
    if (speakerVolume_)
        MixerVolumes::SetSpeakerVolume(*playback_, *speakerVolume_);
}

bool AudioDevice::QueueCaptureBuffers()
{
    for (int slot = 0; slot < CaptureBuffers; ++slot) {
        captureStates_[slot] = BufferQueued;
        if (!capture_->Queue(&captureBlocks_[slot])) {
            captureStates_[slot] = BufferFree;
            return false;
        }
    }
    return true;
}

int AudioDevice::OpenPlayback(int deviceId)
{
    std::lock_guard lock(streamsMutex_);
    auto opened = backend_.Open(WaveDirection::Playback, deviceId,
                                [this](WaveNotice notice, WaveBlock* block) { OnPlaybackNotice(notice, block); });
    if (opened == nullptr)
        return MediaPlaybackOpenFailed;
    opened->SetBlocksPerWake(blocksPerWake_);
    ClosePlaybackLocked();
    playback_ = std::move(opened);
    for (auto& state : playbackStates_)
        state = BufferFree;
    playbackSlot_ = 0;
    playbackInFlight_ = 0;
    playbackDepth_ = std::clamp(playback_->BlocksAhead(), 1, PlaybackBuffers / 2);
    playbackRunning_ = true;
    speakerMuted_ = false;
    speakerMeter_.Reset();
    RestorePlaybackControls();
    PrimePlayback();
    if (!playback_->Start()) {
        ClosePlaybackLocked();
        return MediaPlaybackOpenFailed;
    }
    playbackHandle_ = nextHandle_++;
    return MediaOk;
}

// The depth in silence ahead of the first mixed block; every block played then
// brings one more.
void AudioDevice::PrimePlayback()
{
    const Block silence{};
    for (int block = 0; block < playbackDepth_; ++block)
        WritePlaybackBlock(silence);
}

void AudioDevice::CloseCapture()
{
    std::lock_guard lock(streamsMutex_);
    CloseCaptureLocked();
}

void AudioDevice::ClosePlayback()
{
    std::lock_guard lock(streamsMutex_);
    ClosePlaybackLocked();
}

void AudioDevice::CloseCaptureLocked()
{
    if (capture_ == nullptr)
        return;
    captureRunning_ = false;
    capture_->Reset();
    capture_->Close();
    FreeDoneBuffers(captureStates_.data(), CaptureBuffers);
    capture_.reset();
    captureHandle_ = 0;
}

void AudioDevice::ClosePlaybackLocked()
{
    if (playback_ == nullptr)
        return;
    playbackRunning_ = false;
    playback_->Reset();
    playback_->Close();
    FreeDoneBuffers(playbackStates_.data(), PlaybackBuffers);
    playback_.reset();
    playbackHandle_ = 0;
    playbackDepth_ = 0;
}

void AudioDevice::FreeDoneBuffers(std::atomic<int>* states, int count)
{
    for (int slot = 0; slot < count; ++slot) {
        if (states[slot] == BufferDone)
            states[slot] = BufferFree;
    }
}

void AudioDevice::OnCaptureNotice(WaveNotice notice, WaveBlock* block)
{
    if (notice != WaveNotice::BlockDone)
        return;
    if (captureRunning_) {
        owner_.OnCaptureTick();
        ProcessCapturedBlock(*block);
        if (capture_->Queue(block))
            return;
    }
    captureStates_[block->slot] = BufferDone;
}

// The block captured one callback earlier is cleaned and sent; the new one is
// held back in its place.
void AudioDevice::ProcessCapturedBlock(const WaveBlock& block)
{
    if (block.bytesRecorded != BlockBytes)
        return;
    Block outgoing = heldBlock_;
    if (microphoneMuted_) {
        outgoing.fill(0);
    } else {
        microphoneMeter_.Feed(outgoing);
        echoGain_.Process(outgoing);
    }
    owner_.OnMicrophoneBlock(outgoing);
    std::copy_n(block.data, BlockSamples, heldBlock_.begin());
}

// A block played brings the next one. A block handed back unplayed brings none:
// the device then runs out, and its underrun fills it up to the depth again.
void AudioDevice::OnPlaybackNotice(WaveNotice notice, WaveBlock* block)
{
    if (notice == WaveNotice::Underrun)
        OnPlaybackUnderrun();
    if (notice != WaveNotice::BlockDone)
        return;
    playbackStates_[block->slot] = BufferDone;
    --playbackInFlight_;
    if (!playbackRunning_ || block->bytesRecorded == 0)
        return;
    const std::span<const std::int16_t, BlockSamples> played(block->data, BlockSamples);
    speakerMeter_.Feed(played);
    FeedEchoReference(played);
    FillPlayback();
}

// The device played silence in place of a block, which the echo reference counts too.
void AudioDevice::OnPlaybackUnderrun()
{
    if (!playbackRunning_)
        return;
    const Block silence{};
    FeedEchoReference(silence);
    FillPlayback();
}

void AudioDevice::FillPlayback()
{
    for (int missing = playbackDepth_ - playbackInFlight_; missing > 0; --missing)
        PlayNextBlock();
}

// The block has just been played: its echo reaches the microphone now. Every
// played block counts, silence too, so that the reference keeps time with the
// microphone.
void AudioDevice::FeedEchoReference(std::span<const std::int16_t, BlockSamples> played)
{
    if (captureRunning_ && !microphoneMuted_)
        echoGain_.WriteReference(played);
}

void AudioDevice::PlayNextBlock()
{
    Block mixed{};
    const bool heard = owner_.OnSpeakerBlock(mixed);
    if (!heard)
        mixed.fill(0);
    WritePlaybackBlock(mixed);
}

void AudioDevice::WritePlaybackBlock(const Block& samples)
{
    if (!playbackRunning_)
        return;
    if (playbackSlot_ >= PlaybackBuffers)
        playbackSlot_ = 0;
    auto& state = playbackStates_[playbackSlot_];
    if (state == BufferQueued)
        return;
    WaveBlock& block = playbackBlocks_[playbackSlot_];
    if (speakerMuted_)
        std::fill_n(block.data, BlockSamples, 0);
    else
        std::copy(samples.begin(), samples.end(), block.data);
    state = BufferQueued;
    ++playbackInFlight_;
    if (playback_->Queue(&block)) {
        ++playbackSlot_;
    } else {
        state = BufferFree;
        --playbackInFlight_;
    }
}

void AudioDevice::SetBlocksPerWake(int blocks)
{
    std::lock_guard lock(streamsMutex_);
    blocksPerWake_ = blocks;
    if (capture_ != nullptr)
        capture_->SetBlocksPerWake(blocks);
    if (playback_ != nullptr)
        playback_->SetBlocksPerWake(blocks);
}

void AudioDevice::MuteMicrophone(bool mute)
{
    echoGain_.ResetEcho();
    microphoneMuted_ = mute;
}

int AudioDevice::GetSpeakerVolume(int& volume)
{
    std::lock_guard lock(streamsMutex_);
    volume = -1;
    if (playback_ == nullptr)
        return MediaNoPlayback;
    const auto read = MixerVolumes::SpeakerVolume(*playback_);
    if (!read)
        return MediaPlaybackMixerFailed;
    volume = *read;
    return MediaOk;
}

int AudioDevice::SetSpeakerVolume(int volume)
{
    std::lock_guard lock(streamsMutex_);
    if (playback_ == nullptr)
        return MediaNoPlayback;
    if (!MixerVolumes::SetSpeakerVolume(*playback_, volume))
        return MediaPlaybackMixerFailed;
    speakerVolume_ = volume;
    return MediaOk;
}

int AudioDevice::GetMicrophoneVolume(int& volume)
{
    std::lock_guard lock(streamsMutex_);
    volume = -1;
    if (capture_ == nullptr)
        return MediaNoCapture;
    const auto read = MixerVolumes::MicrophoneVolume(*capture_);
    if (!read)
        return MediaCaptureMixerFailed;
    volume = *read;
    return MediaOk;
}

int AudioDevice::SetMicrophoneVolume(int volume)
{
    std::lock_guard lock(streamsMutex_);
    if (capture_ == nullptr)
        return MediaNoCapture;
    if (!MixerVolumes::SetMicrophoneVolume(*capture_, volume))
        return MediaCaptureMixerFailed;
    microphoneVolume_ = volume;
    return MediaOk;
}

int AudioDevice::SetMicrophoneBoost(bool on)
{
    std::lock_guard lock(streamsMutex_);
    if (capture_ == nullptr)
        return MediaNoCapture;
    if (!MixerVolumes::SetMicrophoneBoost(*capture_, on))
        return MediaNoBoostControl;
    microphoneBoost_ = on;
    return MediaOk;
}

int AudioDevice::GetMicrophoneBoost(bool& on)
{
    std::lock_guard lock(streamsMutex_);
    on = false;
    if (capture_ == nullptr)
        return MediaNoCapture;
    const auto read = MixerVolumes::MicrophoneBoost(*capture_);
    if (!read)
        return MediaNoBoostControl;
    on = *read;
    return MediaOk;
}

std::vector<int> AudioDevice::CaptureBufferStates() const
{
    return StatesOf(captureStates_.data(), CaptureBuffers);
}

std::vector<int> AudioDevice::PlaybackBufferStates() const
{
    return StatesOf(playbackStates_.data(), PlaybackBuffers);
}
