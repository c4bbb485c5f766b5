#include "SpeechSignal.h"
#include "media/EchoGainProcessor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

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
    processor.WriteReference(Block{});
    EXPECT_EQ(processor.ReferenceBytes(), 320u);
    Block samples{};
    processor.Process(samples);
    EXPECT_EQ(processor.ReferenceBytes(), 160u) << "the first block played is met";
}

// The microphone hears the speaker 40 ms later (the room, the devices and the
// block the capture side holds back), 6 dB down.
constexpr std::size_t EchoDelaySamples = 320;

std::vector<std::int16_t> EchoOf(const std::vector<std::int16_t>& far)
{
    std::vector<std::int16_t> microphone(far.size(), 0);
    for (std::size_t n = EchoDelaySamples; n < far.size(); ++n)
        microphone[n] = static_cast<std::int16_t>(far[n - EchoDelaySamples] / 2);
    return microphone;
}

// Echo reduction in dB over the blocks after the first `settle`.
class EchoMeter {
public:
    explicit EchoMeter(std::size_t settle) : settle_(settle) {}
    void Add(std::size_t block, const Block& echo, const Block& left)
    {
        if (block < settle_)
            return;
        for (std::size_t i = 0; i < echo.size(); ++i) {
            echo_ += static_cast<double>(echo[i]) * echo[i];
            left_ += static_cast<double>(left[i]) * left[i];
        }
    }
    double Decibels() const { return 10.0 * std::log10(echo_ / (left_ + 1.0)); }

private:
    std::size_t settle_;
    double echo_ = 0.0;
    double left_ = 0.0;
};

TEST(EchoGainProcessor, CancelsAnEchoOfTheSpeaker)
{
    EchoGainProcessor processor;
    const auto far = SpeechLikeSignal(8000 * 3);
    const auto microphone = EchoOf(far);
    EchoMeter meter(200);
    for (std::size_t block = 0; block < far.size() / 80; ++block) {
        processor.WriteReference(BlockAt(far, block));
        Block samples = BlockAt(microphone, block);
        processor.Process(samples);
        meter.Add(block, BlockAt(microphone, block), samples);
    }
    EXPECT_GT(meter.Decibels(), 20.0);
}

TEST(EchoGainProcessor, PlayingAndCapturingKeepTheirStepThroughJitterAndCatchingUp)
{
    EchoGainProcessor processor;
    const auto far = SpeechLikeSignal(8000 * 6);
    const auto microphone = EchoOf(far);
    const std::size_t blocks = far.size() / 80;
    std::mt19937 random(3);
    EchoMeter meter(300);
    std::size_t played = 0;
    std::size_t captured = 0;
    auto play = [&] {
        if (played < blocks)
            processor.WriteReference(BlockAt(far, played++));
    };
    auto capture = [&] {
        if (captured >= blocks)
            return;
        Block samples = BlockAt(microphone, captured);
        processor.Process(samples);
        meter.Add(captured, BlockAt(microphone, captured), samples);
        ++captured;
    };
    while (captured < blocks) {
        // Every 10 ms each side moves a block, in either order; now and then the
        // capture thread is held up for up to 100 ms while the device goes on
        // recording, and then it catches up back to back.
        const unsigned event = random() % 100;
        if (event < 4) {
            const std::size_t late = 2 + random() % 9;
            for (std::size_t tick = 0; tick < late; ++tick)
                play();
            for (std::size_t tick = 0; tick < late; ++tick)
                capture();
        } else if (event % 2 == 0) {
            play();
            capture();
        } else {
            capture();
            play();
        }
    }
    EXPECT_GT(meter.Decibels(), 20.0);
}

TEST(EchoGainProcessor, TheCancellerRestsWhileTheSpeakerIsSilentAndCancelsAtOnceAfterwards)
{
    EchoGainProcessor processor;
    const auto far = SpeechLikeSignal(8000 * 3);
    const auto microphone = EchoOf(far);
    const std::size_t blocks = far.size() / 80;
    const std::size_t half = blocks / 2;
    for (std::size_t block = 0; block < half; ++block) {
        processor.WriteReference(BlockAt(far, block));
        Block samples = BlockAt(microphone, block);
        processor.Process(samples);
        EXPECT_FALSE(processor.CancellerResting());
    }

    // Two seconds of silence from the speaker; the microphone hears the room.
    std::mt19937 random(5);
    const Block silence{};
    std::vector<bool> resting;
    for (std::size_t block = 0; block < 200; ++block) {
        processor.WriteReference(silence);
        Block room;
        for (auto& sample : room)
            sample = static_cast<std::int16_t>(static_cast<int>(random() % 61) - 30);
        processor.Process(room);
        resting.push_back(processor.CancellerResting());
    }
    const std::size_t tail = EchoGainProcessor::TailSamples / EchoGainProcessor::FrameSamples;
    EXPECT_FALSE(resting[tail - 1]) << "the echo of the last sound may still come within the tail";
    EXPECT_TRUE(std::all_of(resting.begin() + static_cast<std::ptrdiff_t>(tail) + 2, resting.end(),
                            [](bool rest) { return rest; }));

    // The echo path is the same as before: what was learnt cancels it at once.
    EchoMeter meter(half + 10);
    for (std::size_t block = half; block < blocks; ++block) {
        processor.WriteReference(BlockAt(far, block));
        Block samples = BlockAt(microphone, block);
        processor.Process(samples);
        meter.Add(block, BlockAt(microphone, block), samples);
        EXPECT_FALSE(processor.CancellerResting() && block > half + 1);
    }
    EXPECT_GT(meter.Decibels(), 20.0);

    processor.ResetEcho();
    EXPECT_FALSE(processor.CancellerResting());
}
