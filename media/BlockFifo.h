#pragma once

#include "platform/RingQueue.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// A queue of 10 ms PCM blocks (80 samples, 160 bytes). A write to a queue that
// already holds more than 800 bytes empties it first, which keeps a consumer that
// fell behind at most a few blocks late. Its room grows with the largest write and
// is kept, so steady writing and reading allocate nothing. Not locked: the owner locks.
class BlockFifo {
public:
    static constexpr std::size_t BlockSamples = 80;
    static constexpr std::size_t BlockBytes = BlockSamples * 2;
    static constexpr std::size_t OverflowBytes = 800;

    // Appends the whole blocks of `samples`; a trailing partial block is dropped.
    void Write(std::span<const std::int16_t> samples);
    // Fills `samples` with whole blocks from the oldest end while they fit and the
    // queue lasts; the rest of `samples` is left untouched. Returns samples filled.
    std::size_t Read(std::span<std::int16_t> samples);
    std::size_t SizeBytes() const { return blocks_.size() * BlockBytes; }
    void Clear() { blocks_.clear(); }

private:
    RingQueue<std::array<std::int16_t, BlockSamples>> blocks_;
};
