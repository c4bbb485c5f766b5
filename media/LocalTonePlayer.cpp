#include "media/LocalTonePlayer.h"

#include "media/DtmfTone.h"
#include "platform/WaveBackend.h"

#include <algorithm>

LocalTonePlayer::LocalTonePlayer(WaveBackend& backend) : backend_(backend)
{
    for (std::size_t at = 0; at < waveBlocks_.size(); ++at) {
        waveBlocks_[at].data = blocks_[at].data();
        waveBlocks_[at].bytes = BlockSamples * sizeof(std::int16_t);
        waveBlocks_[at].slot = static_cast<int>(at);
    }
}

LocalTonePlayer::~LocalTonePlayer()
{
    Stop();
}

void LocalTonePlayer::SetVolume(int volume)
{
    volume_ = std::clamp(volume, 0, MaxVolume);
}

void LocalTonePlayer::Play(int code, bool mixIntoSpeaker)
{
    std::vector<std::int16_t> tone = DtmfTone::GenerateLocal(code, ToneSamples, volume_);
    playedSinceCheck_ = true;
    if (mixIntoSpeaker) {
        std::lock_guard lock(mutex_);
        pendingMix_.assign(tone.begin(), tone.end());
        return;
    }
    PlayOnOwnStream(tone);
}

bool LocalTonePlayer::MixInto(std::span<std::int16_t, BlockSamples> block)
{
    std::lock_guard lock(mutex_);
    if (pendingMix_.empty())
        return false;
    for (std::int16_t& sample : block) {
        if (pendingMix_.empty())
            break;
        int mixed = sample + pendingMix_.front();
        pendingMix_.pop_front();
        sample = static_cast<std::int16_t>(std::clamp(mixed, -32768, 32767));
    }
    return true;
}

// A new digit restarts the tone: blocks still queued from the previous one are
// taken back first.
void LocalTonePlayer::PlayOnOwnStream(const std::vector<std::int16_t>& tone)
{
    if (!stream_) {
        stream_ = backend_.Open(WaveDirection::Playback, WaveBackend::DefaultDevice,
                                [this](WaveNotice notice, WaveBlock* block) { OnNotice(notice, block); });
        if (!stream_ || !stream_->Start()) {
            stream_.reset();
            return;
        }
    }
    stream_->Reset();
    for (std::size_t at = 0; at < blocks_.size(); ++at) {
        std::copy_n(tone.begin() + static_cast<std::ptrdiff_t>(at * BlockSamples), BlockSamples, blocks_[at].begin());
        stream_->Queue(&waveBlocks_[at]);
    }
}

void LocalTonePlayer::OnNotice(WaveNotice, WaveBlock*)
{
}

void LocalTonePlayer::CheckIdle()
{
    if (playedSinceCheck_) {
        playedSinceCheck_ = false;
        return;
    }
    if (stream_) {
        stream_->Close();
        stream_.reset();
    }
}

void LocalTonePlayer::Stop()
{
    if (stream_) {
        stream_->Close();
        stream_.reset();
    }
    std::lock_guard lock(mutex_);
    pendingMix_.clear();
}
