// Fuzz target: the receive path of an encrypted call: SRTP datagrams through a media
// line's socket on loopback, the authentication and replay checks, and behind them
// the header, telephone events, the decoders and the jitter buffer. A peer that
// holds the key is a stranger too, so most datagrams are protected with it first:
// what reaches the decoders is then whatever the input says.
//
// Input: one set-up byte, then datagrams, each preceded by a way byte and its length
// in two bytes (big-endian). Set-up bits: 0-2 the codec media starts with (the call
// starts afresh, with new keys, for each input), 3 the suite (AES_CM_128_HMAC_SHA1_32
// when set), 4 a sound device pulls the received audio. Way: 0 as it is (forged), 1
// protected, 2 protected and sent twice, 3 protected with one bit flipped (the bit
// is the way byte's upper six bits, counted from the end).

#include "tests/fuzz/FuzzEnvironment.h"
#include "tests/fuzz/OpenLineOnFreePort.h"

#include "media/MediaEngine.h"
#include "media/MediaLine.h"
#include "media/SrtpSession.h"
#include "platform/DatagramBatch.h"
#include "platform/MessageLoop.h"
#include "platform/MessageWindow.h"
#include "platform/UdpSocket.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace {

constexpr int CodecPayloadTypes[] = {3, 98, 8, 0, 18};
constexpr int MaxPullsAtEnd = 64;

class SrtpFuzzHarness {
public:
    SrtpFuzzHarness()
    {
        peer_.Open("127.0.0.1", 0);
        linePort_ = OpenLineOnFreePort(line_, window_);
    }

    void Run(const std::uint8_t* data, std::size_t size)
    {
        if (size == 0 || !line_.IsOpen())
            return;
        const std::uint8_t setUp = data[0];
        const int codec = (setUp & 0x07) % 5;
        pulled_ = (setUp & 0x10) != 0;
        ++call_;
        const SrtpKeys keys{(setUp & 0x08) != 0 ? "AES_CM_128_HMAC_SHA1_32" : "AES_CM_128_HMAC_SHA1_80",
                            Key(call_), Key(call_ + 1)};
        SrtpSession sender;
        sender.Configure({keys.suite, keys.receive, keys.send});
        line_.SetKeys(std::make_shared<SrtpSession>(), keys);
        line_.StartMedia("127.0.0.1", peer_.LocalPort(), codec, CodecPayloadTypes[codec], false, true);
        for (std::size_t at = 1; at + 3 <= size;) {
            const std::uint8_t way = data[at];
            const std::size_t length =
                std::min<std::size_t>((std::size_t{data[at + 1]} << 8) | data[at + 2], size - at - 3);
            at += 3;
            Send(sender, way, std::span(data + at, length));
            at += length;
        }
        MediaLine::Block block;
        for (int pull = 0; pulled_ && pull < MaxPullsAtEnd && line_.PullSpeakerBlock(block); ++pull) {
        }
        // The call ends with its input, keys and all.
        line_.StopMedia(true, true);
    }

private:
    static SrtpKeys::KeySalt Key(unsigned seed)
    {
        SrtpKeys::KeySalt key{};
        for (std::size_t at = 0; at < key.size(); ++at)
            key[at] = static_cast<std::uint8_t>(seed * 31 + at);
        return key;
    }

    void Send(SrtpSession& sender, std::uint8_t way, std::span<const std::uint8_t> bytes)
    {
        std::vector<std::uint8_t> datagram(bytes.begin(), bytes.end());
        if ((way & 0x03) != 0) {
            const auto protectedBytes = sender.Protect(bytes);
            if (protectedBytes.empty())
                return;
            datagram.assign(protectedBytes.begin(), protectedBytes.end());
        }
        if ((way & 0x03) == 3) {
            const std::size_t bit = way >> 2;
            datagram[datagram.size() - 1 - (bit / 8) % datagram.size()] ^= static_cast<std::uint8_t>(1u << (bit % 8));
        }
        Deliver(datagram);
        if ((way & 0x03) == 2)
            Deliver(datagram);
    }

    void Deliver(const std::vector<std::uint8_t>& datagram)
    {
        peer_.SendTo(FuzzEnvironment::Text(datagram.data(), datagram.size()), "127.0.0.1", linePort_);
        while (line_.ReadOnBeat(pulled_, batch_) > 0) {
        }
        MediaLine::Block block;
        if (pulled_)
            line_.PullSpeakerBlock(block);
    }

    FuzzEnvironment environment_{NetworkConfinement::Level::LoopbackOnly};
    MessageLoop loop_;
    MessageWindow window_{loop_, "SrtpFuzz", nullptr};
    MediaLine line_{0, nullptr};
    DatagramBatch batch_{MediaLine::MaxDatagramsPerRead, MediaEngine::MaxRtpDatagram};
    UdpSocket peer_;
    int linePort_ = 0;
    unsigned call_ = 0;
    bool pulled_ = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static SrtpFuzzHarness harness;
    harness.Run(data, size);
    return 0;
}
