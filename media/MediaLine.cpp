#include "media/MediaLine.h"

#include "media/DtmfTone.h"
#include "media/MediaEngineOwner.h"
#include "media/MediaError.h"
#include "media/RtpHeader.h"

#include <algorithm>

namespace {

constexpr std::uint8_t TelephoneEventType = 101;
constexpr std::size_t MaxEncodedBytes = 512;
constexpr std::size_t InbandToneSamples = 960;
constexpr int QuietTicksPerMarker = 18;
// Tones go out as PCMU when the call's codec is not G.711.
constexpr int ToneCodec = CodecSet::Pcmu;
constexpr int TonePayloadType = 0;

bool IsG711(int codec)
{
    return codec == CodecSet::Pcma || codec == CodecSet::Pcmu;
}

// The codec a received payload type stands for; -1 for one we do not take.
int CodecOfPayloadType(std::uint8_t payloadType)
{
    switch (payloadType) {
    case 0: return CodecSet::Pcmu;
    case 3: return CodecSet::Gsm;
    case 8: return CodecSet::Pcma;
    case 18: return CodecSet::G729;
    case 98: return CodecSet::Ilbc;
    default: return -1;
    }
}

// The samples of a packet of `codec` for a peer asking for `packetTimeMs`: whole
// frames of the codec (10 ms for G.711 and G.729, 20 ms for GSM) up to the longest
// packet; iLBC, and a time shorter than one frame, keep the codec's own packet.
std::size_t PacketSamplesFor(int codec, int packetTimeMs, std::size_t codecPacket, std::size_t longestPacket)
{
    constexpr int SamplesPerMs = 8;
    int frameMs = 0;
    if (codec == CodecSet::Gsm)
        frameMs = 20;
    else if (IsG711(codec) || codec == CodecSet::G729)
        frameMs = 10;
    if (frameMs == 0 || packetTimeMs < frameMs)
        return codecPacket;
    const int longestMs = static_cast<int>(longestPacket) / SamplesPerMs;
    const int packetMs = std::min(packetTimeMs, longestMs) / frameMs * frameMs;
    return static_cast<std::size_t>(packetMs * SamplesPerMs);
}

std::int16_t Saturated(int value)
{
    return static_cast<std::int16_t>(std::clamp(value, -32768, 32767));
}

} // namespace

int MediaLine::Open(bool bindToIp, const std::string& ip, int port, MessageWindow& window)
{
    std::lock_guard lock(mutex_);
    CloseLocked();
    if (!socket_.Open(bindToIp ? ip : std::string(), port, window))
        return MediaSocketFailed;
    if (recorder_.CreateFile() != MediaOk) {
        socket_.Close();
        return MediaTempFileFailed;
    }
    open_ = true;
    media_.sendEnabled = false;
    media_.receiveEnabled = false;
    bindAddress_ = bindToIp ? ip : std::string();
    localAddress_ = ip;
    localPort_ = port;
    return MediaOk;
}

void MediaLine::Close()
{
    std::lock_guard lock(mutex_);
    CloseLocked();
}

void MediaLine::CloseLocked()
{
    EndRtcpLocked();
    socket_.Close();
    latch_.Clear();
    stun_.Forget();
    open_ = false;
    readsOnBeat_ = false;
    hold_ = false;
    media_.sendEnabled = false;
    media_.receiveEnabled = false;
    jitter_.Reset();
    mixRing_.Clear();
    player_.Stop();
    recorder_.DeleteFile();
    srtp_.reset();
}

bool MediaLine::IsOpen()
{
    std::lock_guard lock(mutex_);
    return open_;
}

bool MediaLine::IsHold()
{
    std::lock_guard lock(mutex_);
    return hold_;
}

int MediaLine::SocketDescriptor()
{
    std::lock_guard lock(mutex_);
    return socket_.IsOpen() ? socket_.Descriptor() : -1;
}

bool MediaLine::HasMedia()
{
    std::lock_guard lock(mutex_);
    return HasMediaLocked();
}

std::string MediaLine::LocalAddress()
{
    std::lock_guard lock(mutex_);
    return localAddress_;
}

int MediaLine::LocalPort()
{
    std::lock_guard lock(mutex_);
    return localPort_;
}

int MediaLine::OnReadable(int fd, bool pulledBySpeaker, DatagramBatch& batch)
{
    std::lock_guard lock(mutex_);
    if (!socket_.Matches(fd))
        return -1;
    return ReadBatchLocked(pulledBySpeaker, batch);
}

int MediaLine::ReadOnBeat(bool pulledBySpeaker, DatagramBatch& batch)
{
    std::lock_guard lock(mutex_);
    if (!readsOnBeat_)
        return 0;
    speakerPulls_ = pulledBySpeaker;
    const int read = ReadBatchLocked(pulledBySpeaker, batch);
    rtcp_.OnBeat(socket_, batch, srtp_.get());
    return read;
}

int MediaLine::ReadBatchLocked(bool pulledBySpeaker, DatagramBatch& batch)
{
    return socket_.ReceiveBatch(batch, MaxDatagramsPerRead,
                                [&](std::span<const std::uint8_t> datagram, const NetworkEndpoint& source,
                                    std::optional<std::chrono::microseconds> arrival) {
                                    Deliver(datagram, source, arrival, pulledBySpeaker);
                                });
}

void MediaLine::ChooseReaderLocked()
{
    readsOnBeat_ = HasMediaLocked();
    socket_.Watch(!readsOnBeat_);
}

void MediaLine::Deliver(std::span<const std::uint8_t> datagram, const NetworkEndpoint& source,
                        std::optional<std::chrono::microseconds> arrival, bool pulledBySpeaker)
{
    if (stun_.Take(source, datagram))
        return;
    if (RtcpPacket::LooksLikeRtcp(datagram)) {
        if (rtcp_.Multiplexed())
            rtcp_.OnDatagram(datagram, source, arrival, srtp_.get());
        return;
    }
    // A packet that fails the SRTP checks goes no further: nothing of it is read, and
    // it cannot move the source latch.
    if (srtp_ != nullptr && !srtp_->Unprotect(datagram))
        return;
    auto header = RtpHeader::Parse(datagram);
    if (!header || !open_ || hold_ || !media_.receiveEnabled)
        return;
    if (!latch_.Accept(source, header->ssrc)) {
        ++foreignPacketsDropped_;
        return;
    }
    if (latch_.Latched())
        rtcp_.FollowLatchedPeer(latch_.Destination());
    rtcp_.NoteReceived(header->ssrc, header->sequence, header->timestamp, header->payload.size(), arrival,
                       header->payloadType != TelephoneEventType);
    if (header->payloadType == TelephoneEventType) {
        char digit = eventReceiver_.OnPacket(header->sequence, header->payload);
        if (digit != '\0' && owner_ != nullptr)
            owner_->OnMediaDtmfDigit(lineNo_, std::string(1, digit));
        return;
    }
    int codec = CodecOfPayloadType(header->payloadType);
    if (codec >= 0)
        DeliverAudio(codec, header->sequence, header->timestamp, header->payload, pulledBySpeaker);
}

void MediaLine::DeliverAudio(int codec, std::uint16_t sequence, std::uint32_t timestamp,
                             std::span<const std::uint8_t> payload, bool pulledBySpeaker)
{
    VoiceCodec* decoder = codecs_.At(codec);
    if (decoder == nullptr || !decoder->Available() || payload.empty() || !decoder->IsWholePayload(payload.size()))
        return;
    decoded_.resize(decoder->DecodedSamples(payload.size()));
    std::size_t decoded = 0;
    if (decoder->Decode(payload, decoded_, decoded) != 0)
        return;
    const std::span<const std::int16_t> pcm(decoded_.data(), decoded);
    media_.inboundCodec = codec;
    jitter_.Insert(sequence, codec, timestamp, pcm);
    // Played, the peer's voice is recorded as the speaker gets it (PullSpeakerBlock).
    if (!pulledBySpeaker) {
        recorder_.FeedRemoteVoice(sequence, codec, timestamp, pcm);
        jitter_.DropOldestBeyond(UnpulledJitterLimit);
    }
}

void MediaLine::ResetStreamsLocked()
{
    assemblySamples_ = 0;
    jitter_.Reset();
    mixRing_.Clear();
    recorder_.ResetStreams();
    eventReceiver_.Rearm();
}

void MediaLine::StartMedia(const std::string& remoteIp, int remotePort, int codec, int payloadType, bool send,
                           bool receive, int packetTimeMs)
{
    std::lock_guard lock(mutex_);
    media_.remoteIp = remoteIp;
    media_.remotePort = remotePort;
    // Latching starts over when the media moves; a hold's null address moves nothing.
    NetworkEndpoint signalled;
    if (UdpSocket::ParseEndpoint(remoteIp, remotePort, signalled) && signalled.IsSet() &&
        signalled != latch_.Signalled())
        latch_.Reset(signalled);
    media_.outboundCodec = codec;
    media_.outboundPayloadType = payloadType;
    VoiceCodec* encoder = codecs_.At(codec);
    media_.outboundPacketSamples =
        encoder != nullptr ? PacketSamplesFor(codec, packetTimeMs, encoder->PacketSamples(), assembly_.size()) : 0;
    media_.sendEnabled = send;
    media_.receiveEnabled = receive;
    ChooseReaderLocked();
    ResetStreamsLocked();
    if (!send)
        DropPendingDigitsLocked();
}

void MediaLine::StopMedia(bool disableSend, bool disableReceive)
{
    std::lock_guard lock(mutex_);
    EndRtcpLocked();
    media_.outboundCodec = -1;
    media_.outboundPacketSamples = 0;
    media_.inboundCodec = -1;
    media_.sendEnabled = !disableSend;
    media_.receiveEnabled = !disableReceive;
    latch_.Clear();
    ChooseReaderLocked();
    hold_ = false;
    ResetStreamsLocked();
    DropPendingDigitsLocked();
    player_.Stop();
    srtp_.reset();
}

bool MediaLine::SetKeys(const std::shared_ptr<SrtpSession>& session, const SrtpKeys& keys)
{
    std::lock_guard lock(mutex_);
    srtp_ = keys.Encrypted() ? session : nullptr;
    return srtp_ == nullptr || srtp_->Configure(keys);
}

std::string MediaLine::EncryptionSuite()
{
    std::lock_guard lock(mutex_);
    return srtp_ != nullptr ? srtp_->Suite() : std::string();
}

NetworkEndpoint MediaLine::SendDestination()
{
    std::lock_guard lock(mutex_);
    return latch_.Destination();
}

std::uint64_t MediaLine::ForeignPacketsDropped()
{
    std::lock_guard lock(mutex_);
    return foreignPacketsDropped_;
}

void MediaLine::QueryStunServer(const NetworkEndpoint& server, const StunMessage::TransactionId& id)
{
    std::lock_guard lock(mutex_);
    if (open_)
        socket_.Send(stun_.Start(server, id), server);
}

void MediaLine::ResendStunQuery()
{
    std::lock_guard lock(mutex_);
    if (open_ && stun_.Pending())
        socket_.Send(stun_.PendingRequest(), stun_.Server());
}

bool MediaLine::StunQueryPending()
{
    std::lock_guard lock(mutex_);
    return stun_.Pending();
}

std::optional<NetworkEndpoint> MediaLine::StunMappedAddress()
{
    std::lock_guard lock(mutex_);
    return stun_.Mapped();
}

void MediaLine::ForgetStunMapping()
{
    std::lock_guard lock(mutex_);
    stun_.Forget();
}

int MediaLine::PrepareRtcp(bool ownPort)
{
    std::lock_guard lock(mutex_);
    if (!open_)
        return 0;
    if (!rtcp_.Running())
        lastCall_ = CallStatistics{};
    return ownPort ? rtcp_.Prepare(bindAddress_, localPort_) : 0;
}

void MediaLine::StartRtcp(const RtcpTarget& target)
{
    std::lock_guard lock(mutex_);
    if (!open_)
        return;
    if (!rtcp_.Running())
        concealedAtCallStart_ = jitter_.ConcealedBlocks();
    rtcp_.Start(target, packetizer_.Ssrc());
}

void MediaLine::EndRtcpLocked()
{
    if (rtcp_.Running())
        lastCall_ = StatisticsLocked();
    rtcp_.Stop(socket_, srtp_.get());
}

CallStatistics MediaLine::Statistics()
{
    std::lock_guard lock(mutex_);
    return rtcp_.Running() ? StatisticsLocked() : lastCall_.value_or(CallStatistics{});
}

CallStatistics MediaLine::StatisticsLocked()
{
    CallStatistics::Playout playout;
    playout.codec = media_.outboundCodec >= 0 ? media_.outboundCodec : media_.inboundCodec;
    if (VoiceCodec* encoder = codecs_.At(playout.codec))
        playout.packetMs = static_cast<int>(PacketSamplesLocked(*encoder, playout.codec) / 8);
    playout.concealedBlocks = jitter_.ConcealedBlocks() - concealedAtCallStart_;
    playout.jitterBufferDelayMs = speakerPulls_ ? jitter_.DelayMs() : -1;
    return CallStatistics::Of(rtcp_.Figures(), playout);
}

std::uint64_t MediaLine::RtcpRejected()
{
    std::lock_guard lock(mutex_);
    return rtcp_.Rejected();
}

void MediaLine::SetHold(bool hold)
{
    std::lock_guard lock(mutex_);
    hold_ = hold;
    if (hold) {
        jitter_.Reset();
        mixRing_.Clear();
        recorder_.ResetStreams();
        DropPendingDigitsLocked();
    }
}

int MediaLine::OutboundCodec()
{
    std::lock_guard lock(mutex_);
    return media_.outboundCodec;
}

int MediaLine::InboundCodec()
{
    std::lock_guard lock(mutex_);
    return media_.inboundCodec;
}

int MediaLine::BlocksPerPacket()
{
    std::lock_guard lock(mutex_);
    VoiceCodec* encoder = codecs_.At(media_.outboundCodec);
    return encoder != nullptr ? static_cast<int>(PacketSamplesLocked(*encoder, media_.outboundCodec) / BlockSamples)
                              : 0;
}

std::size_t MediaLine::PacketSamplesLocked(const VoiceCodec& encoder, int codec) const
{
    if (codec == media_.outboundCodec && media_.outboundPacketSamples > 0)
        return media_.outboundPacketSamples;
    return encoder.PacketSamples();
}

bool MediaLine::ForceInband()
{
    std::lock_guard lock(mutex_);
    return forceInband_;
}

void MediaLine::SetForceInband(bool force)
{
    std::lock_guard lock(mutex_);
    forceInband_ = force;
}

bool MediaLine::QueueTelephoneEvent(int code, int payloadType)
{
    std::lock_guard lock(mutex_);
    if (!CanSendNow())
        return false;
    eventSender_.QueueDigit(code, payloadType);
    return true;
}

bool MediaLine::SendsTelephoneEvents()
{
    std::lock_guard lock(mutex_);
    return !eventSender_.Empty();
}

bool MediaLine::QueueInbandTone(int code)
{
    std::vector<std::int16_t> tone = DtmfTone::Generate(code, InbandToneSamples);
    std::lock_guard lock(mutex_);
    if (!CanSendNow())
        return false;
    inbandTone_.Write(tone);
    return true;
}

// A digit that cannot go out now must not burst out when the call resumes.
void MediaLine::DropPendingDigitsLocked()
{
    eventSender_.Clear();
    inbandTone_.Clear();
    sendingTone_ = false;
    quietTicks_ = 0;
}

// Gathers 10 ms blocks into a packet of the codec and sends it once complete.
void MediaLine::AppendToPacket(const Block& block, int codec, int payloadType)
{
    VoiceCodec* encoder = codecs_.At(codec);
    if (encoder == nullptr || payloadType < 0 || media_.remotePort <= 0)
        return;
    std::size_t packetSamples = std::min(PacketSamplesLocked(*encoder, codec), assembly_.size());
    if (assemblySamples_ + BlockSamples > assembly_.size())
        assemblySamples_ = 0;
    std::copy(block.begin(), block.end(), assembly_.begin() + static_cast<std::ptrdiff_t>(assemblySamples_));
    assemblySamples_ += BlockSamples;
    if (assemblySamples_ < packetSamples)
        return;
    assemblySamples_ = 0;
    std::array<std::uint8_t, MaxEncodedBytes> payload{};
    std::size_t encoded = 0;
    if (encoder->Encode(std::span(assembly_.data(), packetSamples), payload, encoded) != 0 || encoded == 0)
        return;
    SendPacketLocked(
        packetizer_.AudioPacket(codec, static_cast<std::uint8_t>(payloadType), std::span(payload.data(), encoded)));
}

void MediaLine::SendPacketLocked(std::span<const std::uint8_t> packet)
{
    ticksSinceSent_ = 0;
    if (!latch_.Destination().IsSet())
        return;
    const auto wire = srtp_ != nullptr ? srtp_->Protect(packet) : packet;
    if (!wire.empty() && socket_.Send(wire, latch_.Destination()))
        rtcp_.NoteSent(packet);
}

// A held call sends nothing, either side holding it: an empty packet of the call's
// payload type now and then keeps the NAT bindings of its path (and the peer's latch).
void MediaLine::KeepBindingOpenLocked()
{
    if (!HasMediaLocked() || media_.outboundPayloadType < 0 || ++ticksSinceSent_ < KeepAliveTicks)
        return;
    SendPacketLocked(packetizer_.KeepAlivePacket(static_cast<std::uint8_t>(media_.outboundPayloadType)));
}

void MediaLine::SendMicrophoneBlock(const Block& microphone)
{
    std::lock_guard lock(mutex_);
    if (!CanSend() || hold_)
        return;
    Block mixed = microphone;
    Block others{};
    if (mixRing_.Read(others) == BlockSamples) {
        for (std::size_t at = 0; at < BlockSamples; ++at)
            mixed[at] = Saturated(mixed[at] + others[at]);
    }
    if (!suppressMicrophone_) {
        AppendToPacket(mixed, media_.outboundCodec, media_.outboundPayloadType);
        recorder_.FeedOwnVoice(mixed);
    }
}

void MediaLine::SendTelephoneEvent()
{
    TelephoneEventSender::Record record;
    if (!eventSender_.Take(record))
        return;
    if (record.marker)
        quietTicks_ += QuietTicksPerMarker;
    auto payload = record.Payload();
    SendPacketLocked(packetizer_.EventPacket(record.marker, record.payloadType, payload));
    if (record.advanceSequence)
        packetizer_.AdvanceSequence();
    if (record.last)
        packetizer_.FinishEvent();
}

void MediaLine::SendTick()
{
    std::lock_guard lock(mutex_);
    KeepBindingOpenLocked();
    if (!CanSend())
        return;
    if (sendingTone_ || inbandTone_.SizeBytes() > 0) {
        suppressMicrophone_ = true;
        SendToneBlock();
    } else if (!eventSender_.Empty()) {
        suppressMicrophone_ = true;
        SendTelephoneEvent();
    } else if (quietTicks_ > 0) {
        --quietTicks_;
        suppressMicrophone_ = true;
        assemblySamples_ = 0;
    } else if (Block wave; NextWaveBlock(wave)) {
        suppressMicrophone_ = true;
        SendWaveBlock(wave);
    } else {
        suppressMicrophone_ = false;
        if (sendsSilence_ && !hold_)
            AppendToPacket(Block{}, media_.outboundCodec, media_.outboundPayloadType);
    }
}

// The wave player's block in place of the microphone; the end of the file is told
// to the owner, who only queues it.
bool MediaLine::NextWaveBlock(Block& block)
{
    const WavePlayer::Tick tick = player_.NextBlock(block);
    if (tick == WavePlayer::Tick::Finished && owner_ != nullptr)
        owner_->OnMediaWaveDone(lineNo_);
    return tick == WavePlayer::Tick::Block;
}

void MediaLine::SendWaveBlock(const Block& block)
{
    AppendToPacket(block, media_.outboundCodec, media_.outboundPayloadType);
    recorder_.FeedOwnVoice(block);
}

// One 10 ms block of in-band tone in place of the microphone. A tone starts a
// packet of its own and ends on a packet boundary (padded with silence when a new
// digit cut the previous one short), so no tone block is ever sent in the call's
// codec and none is left over for the next digit. When the call's codec is not
// G.711 the tone goes as PCMU.
void MediaLine::SendToneBlock()
{
    if (!sendingTone_)
        assemblySamples_ = 0;
    sendingTone_ = true;
    const bool g711 = IsG711(media_.outboundCodec);
    Block tone{};
    inbandTone_.Read(tone);
    AppendToPacket(tone, g711 ? media_.outboundCodec : ToneCodec, g711 ? media_.outboundPayloadType : TonePayloadType);
    if (inbandTone_.SizeBytes() == 0 && assemblySamples_ == 0)
        sendingTone_ = false;
}

// A wave file played with listening is heard in place of what the line received.
bool MediaLine::PullSpeakerBlock(Block& block, int playbackDepth)
{
    std::lock_guard lock(mutex_);
    bool yielded = open_ && jitter_.Pull(block);
    // Heard once the device played the blocks before it; the line's own voice reaches
    // the recorder a beat after it was captured.
    if (yielded)
        recorder_.FeedHeardVoice(block, playbackDepth + 1);
    if (Block listened; player_.ReadListen(listened)) {
        block = listened;
        yielded = true;
    }
    return yielded;
}

void MediaLine::RecorderTick()
{
    std::lock_guard lock(mutex_);
    if (HasMediaLocked() && !hold_)
        recorder_.Tick();
}

void MediaLine::WriteMixRing(const Block& others)
{
    std::lock_guard lock(mutex_);
    mixRing_.Write(others);
}
