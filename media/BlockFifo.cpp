#include "media/BlockFifo.h"

#include <algorithm>

void BlockFifo::Write(std::span<const std::int16_t> samples)
{
    if (SizeBytes() > OverflowBytes)
        blocks_.clear();
    for (std::size_t at = 0; at + BlockSamples <= samples.size(); at += BlockSamples) {
        auto& block = blocks_.emplace_back();
        std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(at), BlockSamples, block.begin());
    }
}

std::size_t BlockFifo::Read(std::span<std::int16_t> samples)
{
    std::size_t filled = 0;
    while (!blocks_.empty() && samples.size() - filled >= BlockSamples) {
        std::copy(blocks_.front().begin(), blocks_.front().end(),
                  samples.begin() + static_cast<std::ptrdiff_t>(filled));
        blocks_.pop_front();
        filled += BlockSamples;
    }
    return filled;
}
