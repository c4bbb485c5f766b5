// One line's whole media path per 10 ms tick, per codec: a microphone block is
// gathered into packets, encoded, framed as RTP, parsed again as if received,
// decoded into the jitter buffer, and one block is pulled for the speaker. The
// "lines_per_core" counter is how many such lines one core keeps up with in real time.
#include "media/CodecSet.h"
#include "media/JitterBuffer.h"
#include "media/RtpHeader.h"
#include "media/RtpPacketizer.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr std::size_t BlockSamples = 80;

std::array<std::int16_t, BlockSamples> ToneBlock(std::size_t first)
{
    std::array<std::int16_t, BlockSamples> block{};
    for (std::size_t n = 0; n < BlockSamples; ++n)
        block[n] = static_cast<std::int16_t>(8000.0 * std::sin(2 * std::numbers::pi * 1000.0 * (first + n) / 8000.0));
    return block;
}

std::uint8_t PayloadTypeOf(int codec)
{
    switch (codec) {
    case CodecSet::Gsm: return 3;
    case CodecSet::Ilbc: return 98;
    case CodecSet::Pcma: return 8;
    case CodecSet::G729: return 18;
    default: return 0;
    }
}

void MediaPathPerTick(benchmark::State& state)
{
    const int codec = static_cast<int>(state.range(0));
    CodecSet sender;
    CodecSet receiver;
    if (!CodecSet::IsAvailable(codec)) {
        state.SkipWithError("codec not built in");
        return;
    }
    VoiceCodec& encoder = *sender.At(codec);
    VoiceCodec& decoder = *receiver.At(codec);
    RtpPacketizer packetizer;
    JitterBuffer jitter;
    std::vector<std::int16_t> assembly;
    std::vector<std::uint8_t> payload(512);
    std::vector<std::int16_t> decoded(960);
    std::array<std::int16_t, BlockSamples> speaker{};
    std::size_t samplesSent = 0;
    for (auto _ : state) {
        auto block = ToneBlock(samplesSent);
        samplesSent += BlockSamples;
        assembly.insert(assembly.end(), block.begin(), block.end());
        if (assembly.size() >= encoder.PacketSamples()) {
            std::size_t encoded = 0;
            encoder.Encode(assembly, payload, encoded);
            assembly.clear();
            auto packet = packetizer.AudioPacket(codec, PayloadTypeOf(codec), std::span(payload.data(), encoded));
            auto header = RtpHeader::Parse(packet);
            std::size_t samples = 0;
            decoder.Decode(header->payload, decoded, samples);
            jitter.Insert(header->sequence, codec, header->timestamp, std::span(decoded.data(), samples));
        }
        benchmark::DoNotOptimize(jitter.Pull(speaker));
        benchmark::ClobberMemory();
    }
    state.counters["lines_per_core"] =
        benchmark::Counter(0.010 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(MediaPathPerTick)->ArgName("codec")->DenseRange(0, 4);

BENCHMARK_MAIN();
