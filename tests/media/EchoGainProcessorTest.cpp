#include "SpeechSignal.h"
#include "media/EchoGainProcessor.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using Block = std::array<std::int16_t, EchoGainProcessor::FrameSamples>;

Block BlockAt(const std::vector<std::int16_t>& signal, std::size_t block)
{
    Block out;
    std::copy_n(signal.begin() + static_cast<std::ptrdiff_t>(block * out.size()), out.size(), out.begin());
    return out;
}

} // namespace

TEST(EchoGainProcessor, StartsWithCancellationOnAndAgcOff)
{
    EchoGainProcessor processor;
    EXPECT_TRUE(processor.EchoNoiseEnabled());
    EXPECT_FALSE(processor.AgcEnabled());
    EXPECT_FLOAT_EQ(processor.PreprocessorAgcLevel(), 8000.0f);
}

TEST(EchoGainProcessor, BothDisabledPassesBlocksBitExact)
{
    EchoGainProcessor processor;
    processor.DisableEchoNoiseCancellation();
    const auto speech = SpeechLikeSignal(800);
    for (std::size_t block = 0; block < 10; ++block) {
        processor.WriteReference(BlockAt(speech, (block + 3) % 10));
        Block samples = BlockAt(speech, block);
        processor.Process(samples);
        EXPECT_EQ(samples, BlockAt(speech, block)) << block;
    }
}

TEST(EchoGainProcessor, AgcLevelIsClampedToTheLibrarysRange)
{
    EchoGainProcessor processor;
    processor.EnableAgc(0.0f);
    EXPECT_FLOAT_EQ(processor.PreprocessorAgcLevel(), 1.0f);
    processor.EnableAgc(100000.0f);
    EXPECT_FLOAT_EQ(processor.PreprocessorAgcLevel(), 32768.0f);
    processor.EnableAgc(std::nanf(""));
    EXPECT_FLOAT_EQ(processor.PreprocessorAgcLevel(), 1.0f);
    EXPECT_TRUE(processor.AgcEnabled());
    processor.DisableAgc();
    EXPECT_FALSE(processor.AgcEnabled());
    EXPECT_FLOAT_EQ(processor.PreprocessorAgcLevel(), 8000.0f);
}

TEST(EchoGainProcessor, EnablingCancellationReappliesTheWholeAgcLevel)
{
    EchoGainProcessor processor;
    processor.EnableAgc(1234.75f);
    processor.DisableEchoNoiseCancellation();
    processor.EnableEchoNoiseCancellation();
    EXPECT_FLOAT_EQ(processor.PreprocessorAgcLevel(), 1234.0f);
}

TEST(EchoGainProcessor, AHugeAgcLevelStaysTheMaximumWhenCancellationIsEnabledAgain)
{
    EchoGainProcessor processor;
    processor.EnableAgc(static_cast<float>(2147483647));
    processor.EnableEchoNoiseCancellation();
    EXPECT_FLOAT_EQ(processor.PreprocessorAgcLevel(), 32768.0f);
    processor.EnableAgc(-1e30f);
    processor.EnableEchoNoiseCancellation();
    EXPECT_FLOAT_EQ(processor.PreprocessorAgcLevel(), 1.0f);
}

TEST(EchoGainProcessor, EnablingCancellationClearsTheReference)
{
    EchoGainProcessor processor;
    processor.WriteReference(Block{});
    EXPECT_EQ(processor.ReferenceBytes(), 160u);
    processor.EnableEchoNoiseCancellation();
    EXPECT_EQ(processor.ReferenceBytes(), 0u);
    processor.WriteReference(Block{});
    processor.ResetEcho();
    EXPECT_EQ(processor.ReferenceBytes(), 0u);
}

TEST(EchoGainProcessor, AgcAloneStillConsumesTheReferenceAsSilence)
{
    EchoGainProcessor processor;
    processor.DisableEchoNoiseCancellation();
    processor.EnableAgc(8000.0f);
    processor.WriteReference(Block{});
    Block samples{};
    processor.Process(samples);
    EXPECT_EQ(processor.ReferenceBytes(), 0u);
}

TEST(EchoGainProcessor, CancelsAnEchoOfTheSpeaker)
{
    EchoGainProcessor processor;
    const auto far = SpeechLikeSignal(8000 * 3);
    std::vector<std::int16_t> microphone(far.size(), 0);
    for (std::size_t n = 40; n < far.size(); ++n)
        microphone[n] = static_cast<std::int16_t>(far[n - 40] / 2);
    double echoEnergy = 0.0;
    double leftEnergy = 0.0;
    for (std::size_t block = 0; block < far.size() / 80; ++block) {
        processor.WriteReference(BlockAt(far, block));
        Block samples = BlockAt(microphone, block);
        processor.Process(samples);
        if (block < 200)
            continue; // converging
        for (std::size_t i = 0; i < samples.size(); ++i) {
            echoEnergy += static_cast<double>(microphone[block * 80 + i]) * microphone[block * 80 + i];
            leftEnergy += static_cast<double>(samples[i]) * samples[i];
        }
    }
    EXPECT_GT(10.0 * std::log10(echoEnergy / (leftEnergy + 1.0)), 20.0);
}
