#pragma once

#include "media/BlockFifo.h"
#include "media/CallRecorder.h"
#include "media/CallStatistics.h"
#include "media/CodecSet.h"
#include "media/JitterBuffer.h"
#include "media/RtcpChannel.h"
#include "media/RtpPacketizer.h"
#include "media/RtpSocket.h"
#include "media/SrtpSession.h"
#include "media/RtpSourceLatch.h"
#include "media/StunBinding.h"
#include "media/TelephoneEventReceiver.h"
#include "media/TelephoneEventSender.h"
#include "media/WavePlayer.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

class DatagramBatch;
class MediaEngineOwner;
class MessageWindow;

// The media session of one call line: its RTP socket, the outgoing stream, the
// codecs, the jitter buffer, the DTMF state, the wave player and the call recorder. The line lock is taken before any
// lock of its parts. Entered by the message loop (the host's calls, and receipt
// while the line has no call's media), the media beat (sending, and receipt while
// the line has a call's media) and the sound device's capture and playback threads.
class MediaLine {
public:
    static constexpr std::size_t BlockSamples = 80;
    using Block = std::array<std::int16_t, BlockSamples>;
    // Packets a jitter buffer keeps when no sound device pulls it.
    static constexpr int UnpulledJitterLimit = 10;
    // While a call sends nothing (held either way), an RTP packet without payload
    // goes this often, so that NAT bindings on the way stay open.
    static constexpr int KeepAliveTicks = 1500;

    // sendsSilence: no sound device feeds the line, so with nothing else to send its
    // call carries silence, which keeps the peer's media time-out and NAT bindings alive.
    MediaLine(int lineNo, MediaEngineOwner* owner, bool sendsSilence = false)
        : lineNo_(lineNo), owner_(owner), sendsSilence_(sendsSilence)
    {
    }

    int LineNo() const { return lineNo_; }
    // Returns a media error code (0 when the line is open): 51 for the socket, 59
    // for the recording's temporary file.
    int Open(bool bindToIp, const std::string& ip, int port, MessageWindow& window);
    void Close();
    bool IsOpen();
    bool IsHold();
    // The RTP socket's descriptor; -1 when the line is closed.
    int SocketDescriptor();
    // Whether the line is open with a call's media: the media clock has work.
    bool HasMedia();
    std::string LocalAddress();
    int LocalPort();
    // Datagrams read at once, per readiness notice or per beat: a flood must not
    // keep the message loop or the media beat (and every audio thread waiting for
    // the line lock) from running. What is left waits for the next read.
    static constexpr int MaxDatagramsPerRead = 32;

    // Reads a batch of the datagrams waiting on `fd` into `batch`, with one system
    // call; returns how many, -1 when the socket is not this line's.
    // pulledBySpeaker: a sound device drains the jitter buffer.
    int OnReadable(int fd, bool pulledBySpeaker, DatagramBatch& batch);
    // While the line has a call's media the media beat reads its socket, so that a
    // packet costs no wake-up of its own; the message loop watches it otherwise.
    // Returns how many datagrams were read (0 without media).
    int ReadOnBeat(bool pulledBySpeaker, DatagramBatch& batch);

    // packetTimeMs: the peer's a=ptime (0 for none), honoured in whole frames of the codec.
    void StartMedia(const std::string& remoteIp, int remotePort, int codec, int payloadType, bool send,
                    bool receive, int packetTimeMs = 0);
    void StopMedia(bool disableSend, bool disableReceive);
    // The call's SRTP: its session (the call keeps it, with its replay windows and
    // rollover counters, across media restarts) and its keys, given before its media
    // starts so that nothing leaves in clear; empty keys for plain RTP. StopMedia lets
    // go of the session. false when a key cannot be used: the line then sends and
    // takes nothing.
    bool SetKeys(const std::shared_ptr<SrtpSession>& session, const SrtpKeys& keys);
    // The suite of the call's SRTP; empty for plain RTP.
    std::string EncryptionSuite();
    // Where the call's packets go now (the SDP's endpoint, or the source latched
    // onto); unset without a call.
    NetworkEndpoint SendDestination();
    // RTP packets dropped because they came from another source than the call's.
    std::uint64_t ForeignPacketsDropped();

    // A STUN Binding request from the line's socket to `server`, and the pending one
    // sent again (a retransmission keeps its transaction).
    void QueryStunServer(const NetworkEndpoint& server, const StunMessage::TransactionId& id);
    void ResendStunQuery();
    bool StunQueryPending();
    // The public address the server told, until the line closes or Forget.
    std::optional<NetworkEndpoint> StunMappedAddress();
    void ForgetStunMapping();

    // RTCP of the line's calls. The port to announce in an SDP this side sends, bound
    // now when `ownPort` (0 without one); a call not yet begun starts with unknown
    // figures.
    int PrepareRtcp(bool ownPort);
    // Where the peer takes RTCP; the first time in a call its RTCP session starts.
    void StartRtcp(const RtcpTarget& target);
    // The figures of the call, or of the last one until the next begins.
    CallStatistics Statistics();
    // RTCP datagrams dropped: from another source than the peer, or malformed.
    std::uint64_t RtcpRejected();
    void SetHold(bool hold);
    int OutboundCodec();
    int InboundCodec();
    // The 10 ms blocks of each packet the line sends; 0 without a codec.
    int BlocksPerPacket();
    bool ForceInband();
    void SetForceInband(bool force);

    // false (nothing queued) while the call cannot send: a digit pressed while
    // either side holds the call is not sent later.
    bool QueueTelephoneEvent(int code, int payloadType);
    // Whether telephone-event packets wait to be sent.
    bool SendsTelephoneEvents();
    bool QueueInbandTone(int code);

    // Sending side: one microphone block from the capture thread, one media tick.
    void SendMicrophoneBlock(const Block& microphone);
    void SendTick();
    // Every 10 ms after the send tick: the recorder takes one block of the call.
    void RecorderTick();
    // Speaker side: the line's next received block; false when it has none.
    // `playbackDepth`: the blocks the sound device keeps in flight before it plays one.
    bool PullSpeakerBlock(Block& block, int playbackDepth = 0);
    // What the other lines received, to be mixed into this line's outgoing audio.
    void WriteMixRing(const Block& others);

    // Runs `action` on the line's wave player or call recorder under the line lock.
    template <typename Action>
    auto OnPlayer(Action&& action)
    {
        std::lock_guard lock(mutex_);
        return action(player_);
    }
    template <typename Action>
    auto OnRecorder(Action&& action)
    {
        std::lock_guard lock(mutex_);
        return action(recorder_);
    }

    // Where and how the line's call sends and receives.
    struct MediaState {
        std::string remoteIp;
        int remotePort = 0;
        int outboundCodec = -1;
        int outboundPayloadType = -1;
        // Samples per packet of the outbound codec; 0: the codec's own.
        std::size_t outboundPacketSamples = 0;
        int inboundCodec = -1;
        bool sendEnabled = false;
        bool receiveEnabled = false;
    };

private:
    void CloseLocked();
    void ResetStreamsLocked();
    // Hands the socket's reading to the beat or to the message loop after the
    // line's media changed.
    void ChooseReaderLocked();
    int ReadBatchLocked(bool pulledBySpeaker, DatagramBatch& batch);
    void Deliver(std::span<const std::uint8_t> datagram, const NetworkEndpoint& source,
                 std::optional<std::chrono::microseconds> arrival, bool pulledBySpeaker);
    // Every RTP packet leaves here, to the latch's destination, protected when the call
    // has keys.
    void SendPacketLocked(std::span<const std::uint8_t> packet);
    void KeepBindingOpenLocked();
    CallStatistics StatisticsLocked();
    // The call's RTCP ends with a BYE; its figures stay readable.
    void EndRtcpLocked();
    void DeliverAudio(int codec, std::uint16_t sequence, std::uint32_t timestamp,
                      std::span<const std::uint8_t> payload, bool pulledBySpeaker);
    void AppendToPacket(const Block& block, int codec, int payloadType);
    // Samples per packet sent in `codec`: the call's packet time for its own codec.
    std::size_t PacketSamplesLocked(const VoiceCodec& encoder, int codec) const;
    void SendTelephoneEvent();
    void SendToneBlock();
    bool NextWaveBlock(Block& block);
    void SendWaveBlock(const Block& block);
    void DropPendingDigitsLocked();
    bool HasMediaLocked() const { return open_ && (media_.sendEnabled || media_.receiveEnabled); }
    bool CanSend() const { return open_ && media_.sendEnabled; }
    bool CanSendNow() const { return CanSend() && !hold_; }

    const int lineNo_;
    MediaEngineOwner* owner_;
    const bool sendsSilence_;
    std::mutex mutex_;
    RtpSocket socket_;
    std::shared_ptr<SrtpSession> srtp_;
    bool open_ = false;
    bool readsOnBeat_ = false;
    bool hold_ = false;
    bool forceInband_ = false;
    bool suppressMicrophone_ = false;
    bool sendingTone_ = false;
    int quietTicks_ = 0;
    std::string localAddress_;
    int localPort_ = -1;
    // What the RTP socket is bound to: empty for every address.
    std::string bindAddress_;
    MediaState media_;
    RtpSourceLatch latch_;
    std::uint64_t foreignPacketsDropped_ = 0;
    // Send ticks since the last packet left.
    int ticksSinceSent_ = 0;
    StunBinding stun_;
    RtpPacketizer packetizer_;
    CodecSet codecs_;
    JitterBuffer jitter_;
    BlockFifo mixRing_;
    BlockFifo inbandTone_;
    TelephoneEventSender eventSender_;
    TelephoneEventReceiver eventReceiver_;
    WavePlayer player_;
    CallRecorder recorder_;
    RtcpChannel rtcp_;
    // The figures of the line's last call, once it ended.
    std::optional<CallStatistics> lastCall_;
    std::int64_t concealedAtCallStart_ = 0;
    // Whether a sound device plays the jitter buffer, as the last beat found.
    bool speakerPulls_ = false;
    // The longest packet sent: 60 ms.
    std::array<std::int16_t, 480> assembly_{};
    std::size_t assemblySamples_ = 0;
    // The PCM of the last received packet; it keeps the room of the largest.
    std::vector<std::int16_t> decoded_;
};
