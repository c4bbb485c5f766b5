#pragma once

#include "media/BlockFifo.h"
#include "media/WaveFile.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Plays a WAV file into a call in place of the microphone, one 10 ms block per
// media tick, optionally into the local speaker as well. The play position runs at
// 8000 samples a second whatever the file's format, so the end of the file is
// followed by silence up to the next whole second, and then the player stops and
// tells its line. The file is read at most three seconds of its own format at a time.
// Not locked: the line locks.
class WavePlayer {
public:
    static constexpr std::size_t BlockSamples = BlockFifo::BlockSamples;
    static constexpr std::int64_t SamplesPerSecond = 8000;
    using Block = std::array<std::int16_t, BlockSamples>;

    enum class Tick { Nothing, Block, Finished };

    // Stops playing and opens `path`; a media error code (63, 64 or 66), 0 when open.
    int Open(const std::string& path);
    // Stops and forgets the file.
    void Close();
    // Moves to `seconds` (clamped to the file's length) when the file has a length.
    void SkipTo(int seconds);
    int TotalSeconds() const { return file_.TotalSeconds(); }
    // Plays on from the position; nothing happens without a file of some length.
    void Start(bool listen);
    void Pause() { playing_ = false; }
    // Playing off, back to the start.
    void Stop();
    int PositionSeconds() const { return static_cast<int>(position_ / SamplesPerSecond); }
    bool IsPlaying() const { return playing_; }

    // The next block to send: Block fills `block` (silence where the file has run
    // out), Finished means the file has just ended and playing stopped.
    Tick NextBlock(Block& block);
    // The next block for the local speaker, when listening; false when none.
    bool ReadListen(Block& block);

private:
    void Reload();

    WaveFile file_;
    std::vector<std::int16_t> chunk_;
    std::size_t chunkOffset_ = 0;
    // In samples of 8 kHz PCM.
    std::int64_t position_ = 0;
    bool playing_ = false;
    bool listen_ = false;
    bool reload_ = false;
    BlockFifo listenFifo_;
};
