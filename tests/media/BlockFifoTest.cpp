#include "media/BlockFifo.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::int16_t> Blocks(std::size_t count, std::int16_t first)
{
    std::vector<std::int16_t> samples(count * BlockFifo::BlockSamples);
    for (std::size_t block = 0; block < count; ++block) {
        for (std::size_t i = 0; i < BlockFifo::BlockSamples; ++i)
            samples[block * BlockFifo::BlockSamples + i] = static_cast<std::int16_t>(first + block);
    }
    return samples;
}

} // namespace

TEST(BlockFifo, ReadsBlocksInWriteOrder)
{
    BlockFifo fifo;
    fifo.Write(Blocks(3, 10));
    EXPECT_EQ(fifo.SizeBytes(), 480u);
    std::vector<std::int16_t> out(160);
    EXPECT_EQ(fifo.Read(out), 160u);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[80], 11);
    EXPECT_EQ(fifo.SizeBytes(), 160u);
}

TEST(BlockFifo, ShortReadLeavesTheRestOfTheBufferUntouched)
{
    BlockFifo fifo;
    fifo.Write(Blocks(1, 5));
    std::vector<std::int16_t> out(240, -7);
    EXPECT_EQ(fifo.Read(out), 80u);
    EXPECT_EQ(out[79], 5);
    EXPECT_EQ(out[80], -7);
    EXPECT_EQ(out[239], -7);
    EXPECT_EQ(fifo.SizeBytes(), 0u);
}

TEST(BlockFifo, ReadNeverSplitsABlock)
{
    BlockFifo fifo;
    fifo.Write(Blocks(1, 5));
    std::vector<std::int16_t> out(50, -7);
    EXPECT_EQ(fifo.Read(out), 0u);
    EXPECT_EQ(out[0], -7);
    EXPECT_EQ(fifo.SizeBytes(), 160u);
}

TEST(BlockFifo, WriteOverEightHundredBytesEmptiesTheQueueFirst)
{
    BlockFifo fifo;
    fifo.Write(Blocks(5, 0));
    EXPECT_EQ(fifo.SizeBytes(), 800u);
    fifo.Write(Blocks(1, 50));
    EXPECT_EQ(fifo.SizeBytes(), 960u) << "800 bytes is not more than 800";
    fifo.Write(Blocks(2, 60));
    EXPECT_EQ(fifo.SizeBytes(), 320u);
    std::vector<std::int16_t> out(80);
    fifo.Read(out);
    EXPECT_EQ(out[0], 60);
}

TEST(BlockFifo, PartialTrailingBlockIsDropped)
{
    BlockFifo fifo;
    std::vector<std::int16_t> samples(100, 3);
    fifo.Write(samples);
    EXPECT_EQ(fifo.SizeBytes(), 160u);
    fifo.Clear();
    EXPECT_EQ(fifo.SizeBytes(), 0u);
}
