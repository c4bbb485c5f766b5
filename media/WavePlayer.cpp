#include "media/WavePlayer.h"

#include "media/MediaError.h"

#include <algorithm>

int WavePlayer::Open(const std::string& path)
{
    Stop();
    const int result = file_.OpenForReading(path);
    file_.SeekSeconds(0);
    reload_ = true;
    return result;
}

void WavePlayer::Close()
{
    Stop();
    file_.Close();
}

void WavePlayer::SkipTo(int seconds)
{
    const int total = TotalSeconds();
    if (total <= 0)
        return;
    const int clamped = std::clamp(seconds, 0, total);
    position_ = clamped * SamplesPerSecond;
    file_.SeekSeconds(clamped);
    reload_ = true;
}

void WavePlayer::Start(bool listen)
{
    if (TotalSeconds() <= 0)
        return;
    playing_ = true;
    listen_ = listen;
}

void WavePlayer::Stop()
{
    playing_ = false;
    position_ = 0;
    file_.SeekSeconds(0);
    reload_ = true;
    listenFifo_.Clear();
}

WavePlayer::Tick WavePlayer::NextBlock(Block& block)
{
    if (!playing_)
        return Tick::Nothing;
    if (position_ >= TotalSeconds() * SamplesPerSecond) {
        Stop();
        return Tick::Finished;
    }
    block.fill(0);
    std::size_t filled = 0;
    while (filled < block.size()) {
        if (reload_ || chunkOffset_ >= chunk_.size())
            Reload();
        if (chunkOffset_ >= chunk_.size())
            break;
        const std::size_t taken = std::min(block.size() - filled, chunk_.size() - chunkOffset_);
        std::copy_n(chunk_.begin() + static_cast<std::ptrdiff_t>(chunkOffset_), taken,
                    block.begin() + static_cast<std::ptrdiff_t>(filled));
        chunkOffset_ += taken;
        filled += taken;
    }
    position_ += static_cast<std::int64_t>(block.size());
    if (listen_)
        listenFifo_.Write(block);
    return Tick::Block;
}

void WavePlayer::Reload()
{
    reload_ = false;
    chunk_ = file_.ReadChunk();
    chunkOffset_ = 0;
}

bool WavePlayer::ReadListen(Block& block)
{
    return listenFifo_.Read(block) == block.size();
}
