// Allocations in a call's steady state, counted by interposing malloc (which every
// operator new also ends in): one line's whole media path in real time, for each
// codec, with a peer on loopback sending it RTP at the codec's pace. Counted are
// the virtual sound device's pacer moving microphone and speaker blocks, echo and
// gain, the media beat, encoding and sending, the message loop reading RTP in
// batches, decoding, the jitter buffer, mixing, the call recording and telephone
// events both ways (a digit each second: its 540 quiet milliseconds send no voice).
// The counters "allocations" and "per_packet" must stay 0; the process exits with 1
// when they do not.
#include "media/CodecSet.h"
#include "media/MediaEngine.h"
#include "media/RtpHeader.h"
#include "platform/DatagramBatch.h"
#include "platform/MessageLoop.h"
#include "platform/UdpSocket.h"
#include "platform/WavSink.h"

#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
}

namespace {

std::atomic<std::uint64_t> allocations{0};
std::atomic<bool> anyAllocated{false};

} // namespace

extern "C" {

void* malloc(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}

} // extern "C"

namespace {

constexpr int EventPayloadType = 101;
constexpr auto WarmUp = std::chrono::milliseconds(1500);
constexpr int MeasuredSeconds = 3;

int PayloadTypeOf(int codec)
{
    switch (codec) {
    case CodecSet::Gsm: return 3;
    case CodecSet::Pcma: return 8;
    case CodecSet::G729: return 18;
    default: return 0;
    }
}

std::vector<std::int16_t> Voice(std::size_t samples)
{
    std::vector<std::int16_t> voice(samples);
    for (std::size_t n = 0; n < samples; ++n) {
        const double t = static_cast<double>(n) / 8000.0;
        const double syllables = 0.5 + 0.5 * std::sin(2 * std::numbers::pi * 3.0 * t);
        voice[n] = static_cast<std::int16_t>(syllables * (5000.0 * std::sin(2 * std::numbers::pi * 480.0 * t) +
                                                          2500.0 * std::sin(2 * std::numbers::pi * 1320.0 * t)));
    }
    return voice;
}

// The far end: sends the line one packet of the codec per packet time, and a
// telephone event now and then; reads what the line sends. Allocates only before
// it starts.
class Peer {
public:
    Peer(int codec, int linePort) : codec_(codec), linePort_(linePort)
    {
        socket_.Open("127.0.0.1", 0);
        CodecSet codecs;
        VoiceCodec& encoder = *codecs.At(codec);
        packetSamples_ = codec == CodecSet::G729 ? 160 : encoder.PacketSamples();
        const std::vector<std::int16_t> pcm = Voice(packetSamples_);
        payload_.resize(encoder.EncodedBytes(packetSamples_));
        std::size_t written = 0;
        encoder.Encode(pcm, payload_, written);
        payload_.resize(written);
    }
    ~Peer() { Stop(); }

    int Port() const { return socket_.LocalPort(); }
    void Start() { thread_ = std::thread([this] { Run(); }); }
    void Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    std::uint64_t Sent() const { return sent_; }
    std::uint64_t Received() const { return received_; }

private:
    void Run()
    {
        const auto period = std::chrono::microseconds(125 * packetSamples_);
        auto next = std::chrono::steady_clock::now();
        std::uint16_t sequence = 0;
        std::uint32_t timestamp = 0;
        const std::array<std::uint8_t, 4> event{5, 0x0A, 0, 160};
        while (!stop_) {
            next += period;
            std::this_thread::sleep_until(next);
            Send(RtpHeader::Write(false, static_cast<std::uint8_t>(PayloadTypeOf(codec_)), sequence++, timestamp, 7,
                                  payload_, packet_));
            if (sequence % 50 == 0)
                Send(RtpHeader::Write(true, EventPayloadType, sequence++, timestamp, 7, event, packet_));
            timestamp += static_cast<std::uint32_t>(packetSamples_);
            received_ += static_cast<std::uint64_t>(socket_.ReceiveBatch(batch_, batch_.Capacity()));
        }
    }

    void Send(std::size_t length)
    {
        socket_.SendTo(std::span<const std::uint8_t>(packet_.data(), length), host_, linePort_);
        ++sent_;
    }

    const int codec_;
    const int linePort_;
    const std::string host_ = "127.0.0.1";
    UdpSocket socket_;
    DatagramBatch batch_{32, 2048};
    std::size_t packetSamples_ = 160;
    std::vector<std::uint8_t> payload_;
    std::array<std::uint8_t, 2048> packet_{};
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> sent_{0};
    std::atomic<std::uint64_t> received_{0};
    std::thread thread_;
};

int FreePort()
{
    UdpSocket probe;
    probe.Open("127.0.0.1", 0);
    return probe.LocalPort();
}

// The virtual microphone's file, made once.
std::string MicrophoneFile()
{
    static const std::string path = [] {
        const std::string file = (std::filesystem::temp_directory_path() / "allocation_bench_mic.wav").string();
        auto sink = WavSink::Create(file);
        const std::vector<std::int16_t> voice = Voice(8000 * 2);
        sink->Write(voice);
        return file;
    }();
    return path;
}

void CallSteadyState(benchmark::State& state)
{
    const int codec = static_cast<int>(state.range(0));
    if (!CodecSet::IsAvailable(codec)) {
        state.SkipWithError("codec not built in");
        return;
    }
    setenv("ORVSIP_AUDIO", "virtual", 1);
    setenv("ORVSIP_VIRTUAL_MIC", MicrophoneFile().c_str(), 1);
    MessageLoop loop;
    MediaEngine engine(loop);
    const int linePort = FreePort();
    Peer peer(codec, linePort);
    if (!engine.Start(1, true, nullptr) || !engine.OpenLine(0, true, "127.0.0.1", linePort) ||
        !engine.StartMedia(0, "127.0.0.1", peer.Port(), codec, PayloadTypeOf(codec), true, true) ||
        !engine.AttachDevices(0, -1, -1) || !engine.StartRecording(0, 2, false)) {
        state.SkipWithError("the call could not be set up");
        return;
    }
    peer.Start();
    engine.SendDtmfEvent(0, EventPayloadType, 1);
    loop.RunFor(static_cast<int>(WarmUp.count()));
    std::uint64_t counted = 0;
    std::uint64_t packets = 0;
    std::uint64_t sent = 0;
    for (auto _ : state) {
        const std::uint64_t before = allocations;
        const std::uint64_t peerSentBefore = peer.Sent();
        const std::uint64_t peerReceivedBefore = peer.Received();
        for (int second = 0; second < MeasuredSeconds; ++second) {
            engine.SendDtmfEvent(0, EventPayloadType, second);
            loop.RunFor(1000);
        }
        counted = allocations - before;
        packets = peer.Sent() - peerSentBefore;
        sent = peer.Received() - peerReceivedBefore;
    }
    peer.Stop();
    engine.Stop();
    if (counted > 0)
        anyAllocated = true;
    state.counters["allocations"] = static_cast<double>(counted);
    state.counters["blocks"] = MeasuredSeconds * 100.0;
    state.counters["packets_in"] = static_cast<double>(packets);
    state.counters["packets_out"] = static_cast<double>(sent);
    state.counters["per_packet"] = packets > 0 ? static_cast<double>(counted) / static_cast<double>(packets) : 0.0;
}

} // namespace

BENCHMARK(CallSteadyState)
    ->ArgName("codec")
    ->Arg(CodecSet::Pcmu)
    ->Arg(CodecSet::Pcma)
    ->Arg(CodecSet::Gsm)
    ->Arg(CodecSet::G729)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return anyAllocated ? 1 : 0;
}
