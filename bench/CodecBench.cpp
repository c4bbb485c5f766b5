// Time per call of each codec on one packet of PCM (20 ms; 10 ms for G.729) and of
// the echo and gain processor on one 10 ms block.
#include "media/CodecSet.h"
#include "media/EchoGainProcessor.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

std::vector<std::int16_t> TestTone(std::size_t samples)
{
    std::vector<std::int16_t> tone(samples);
    for (std::size_t n = 0; n < samples; ++n) {
        const double t = static_cast<double>(n) / 8000.0;
        tone[n] = static_cast<std::int16_t>(6000.0 * std::sin(2 * std::numbers::pi * 440.0 * t) +
                                            3000.0 * std::sin(2 * std::numbers::pi * 1250.0 * t));
    }
    return tone;
}

// One packet for every codec: 20 ms, except the 10 ms frame of G.729 and the 30 ms
// frame of iLBC.
std::size_t BenchSamples(int codecIndex)
{
    return codecIndex == CodecSet::G729 ? 80 : codecIndex == CodecSet::Ilbc ? 240 : 160;
}

// One codec with a packet of PCM and its payload.
struct Packet {
    CodecSet codecs;
    VoiceCodec& codec;
    std::vector<std::int16_t> pcm;
    std::vector<std::uint8_t> payload;

    explicit Packet(int codecIndex)
        : codec(*codecs.At(codecIndex)), pcm(TestTone(BenchSamples(codecIndex))), payload(512)
    {
        std::size_t bytes = 0;
        codec.Encode(pcm, payload, bytes);
        payload.resize(bytes);
    }
};

bool SkipUnavailable(benchmark::State& state)
{
    if (CodecSet::IsAvailable(static_cast<int>(state.range(0))))
        return false;
    state.SkipWithError("codec not built in");
    return true;
}

void Encode(benchmark::State& state)
{
    if (SkipUnavailable(state))
        return;
    Packet packet(static_cast<int>(state.range(0)));
    std::vector<std::uint8_t> out(512);
    std::size_t bytes = 0;
    for (auto _ : state) {
        packet.codec.Encode(packet.pcm, out, bytes);
        benchmark::DoNotOptimize(out.data());
    }
}

void Decode(benchmark::State& state)
{
    if (SkipUnavailable(state))
        return;
    Packet packet(static_cast<int>(state.range(0)));
    std::vector<std::int16_t> decoded(packet.pcm.size());
    std::size_t samples = 0;
    for (auto _ : state) {
        packet.codec.Decode(packet.payload, decoded, samples);
        benchmark::DoNotOptimize(decoded.data());
    }
}

// One 10 ms microphone block through the echo canceller, the noise suppressor and
// the gain control, against a tone played on the speaker or (argument 1) silence,
// when the canceller rests.
void EchoAndGainBlock(benchmark::State& state)
{
    EchoGainProcessor processor;
    processor.EnableAgc(8000.0f);
    const auto speaker = TestTone(80);
    std::array<std::int16_t, 80> reference{};
    if (state.range(0) == 0)
        std::copy(speaker.begin(), speaker.end(), reference.begin());
    std::array<std::int16_t, 80> microphone;
    for (auto _ : state) {
        processor.WriteReference(reference);
        for (std::size_t n = 0; n < microphone.size(); ++n)
            microphone[n] = static_cast<std::int16_t>(speaker[n] / 3);
        processor.Process(microphone);
        benchmark::DoNotOptimize(microphone.data());
    }
}

void AllCodecs(benchmark::internal::Benchmark* bench)
{
    bench->ArgName("codec");
    for (int codecIndex = CodecSet::Gsm; codecIndex <= CodecSet::G729; ++codecIndex)
        bench->Arg(codecIndex);
}

} // namespace

BENCHMARK(Encode)->Apply(AllCodecs);
BENCHMARK(Decode)->Apply(AllCodecs);
BENCHMARK(EchoAndGainBlock)->ArgName("silent_speaker")->Arg(0)->Arg(1);

BENCHMARK_MAIN();
