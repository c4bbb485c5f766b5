// Fuzz target: RTP datagrams through a media line's receive path: the line's socket
// on loopback, the header, telephone events, the decoder of every codec and the
// jitter buffer, drained as a sound device would drain it; and STUN answers, the
// peer standing for the STUN server the line asked (transaction id 0x01..0x0C).
//
// Input: one set-up byte, then datagrams, each preceded by its length in two bytes
// (big-endian). Set-up bits: 0-2 the codec media starts with (each input starts
// the line's media afresh), 3 a sound device pulls the received audio, 4 the line
// is on hold.

#include "tests/fuzz/FuzzEnvironment.h"
#include "tests/fuzz/OpenLineOnFreePort.h"

#include "media/MediaEngine.h"
#include "media/MediaEngineOwner.h"
#include "media/MediaLine.h"
#include "platform/DatagramBatch.h"
#include "platform/MessageLoop.h"
#include "platform/MessageWindow.h"
#include "platform/UdpSocket.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace {

constexpr int CodecPayloadTypes[] = {3, 98, 8, 0, 18};
constexpr int MaxPullsAtEnd = 64;
constexpr StunMessage::TransactionId StunId = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

class DigitCounter : public MediaEngineOwner {
public:
    void OnMediaDtmfDigit(int, const std::string& digit) override { digits += digit; }
    void OnMediaWaveDone(int) override {}
    std::string digits;
};

class RtpFuzzHarness {
public:
    RtpFuzzHarness()
    {
        peer_.Open("127.0.0.1", 0);
        linePort_ = OpenLineOnFreePort(line_, window_);
    }

    void Run(const std::uint8_t* data, std::size_t size)
    {
        if (size == 0 || !line_.IsOpen())
            return;
        std::uint8_t setUp = data[0];
        int codec = (setUp & 0x07) % 5;
        pulled_ = (setUp & 0x08) != 0;
        line_.StartMedia("127.0.0.1", peer_.LocalPort(), codec, CodecPayloadTypes[codec], false, true);
        line_.SetHold((setUp & 0x10) != 0);
        NetworkEndpoint server;
        UdpSocket::ParseEndpoint("127.0.0.1", peer_.LocalPort(), server);
        line_.QueryStunServer(server, StunId);
        for (std::size_t at = 1; at + 2 <= size;) {
            std::size_t length = std::min<std::size_t>((std::size_t{data[at]} << 8) | data[at + 1], size - at - 2);
            at += 2;
            Deliver(data + at, length);
            at += length;
        }
        MediaLine::Block block;
        for (int pull = 0; pulled_ && pull < MaxPullsAtEnd && line_.PullSpeakerBlock(block); ++pull) {
        }
        // Nothing an input received outlives it, so each input stands on its own.
        line_.StopMedia(true, true);
        line_.ForgetStunMapping();
        digits_.digits.clear();
    }

private:
    void Deliver(const std::uint8_t* bytes, std::size_t length)
    {
        peer_.SendTo(FuzzEnvironment::Text(bytes, length), "127.0.0.1", linePort_);
        // The line has media, so its socket is read on the beat, as here.
        while (line_.ReadOnBeat(pulled_, batch_) > 0) {
        }
        MediaLine::Block block;
        if (pulled_)
            line_.PullSpeakerBlock(block);
    }

    void OnReadable(std::uintptr_t fd) { line_.OnReadable(static_cast<int>(fd), pulled_, batch_); }

    FuzzEnvironment environment_{NetworkConfinement::Level::LoopbackOnly};
    MessageLoop loop_;
    MessageWindow window_{loop_, "RtpFuzz", [this](unsigned message, std::uintptr_t wParam, std::intptr_t) {
                              if (message == RtpSocket::ReadableMessage)
                                  OnReadable(wParam);
                          }};
    DigitCounter digits_;
    MediaLine line_{0, &digits_};
    DatagramBatch batch_{MediaLine::MaxDatagramsPerRead, MediaEngine::MaxRtpDatagram};
    UdpSocket peer_;
    int linePort_ = 0;
    bool pulled_ = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static RtpFuzzHarness harness;
    harness.Run(data, size);
    return 0;
}
