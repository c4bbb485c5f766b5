#include "media/MediaEngine.h"

#include "media/AudioDevice.h"
#include "media/MediaError.h"
#include "platform/MessageWindow.h"
#include "platform/WaveBackend.h"

#include <algorithm>

MediaEngine::MediaEngine(MessageLoop& loop) : loop_(loop), tonePlayer_(WaveBackend::Current())
{
}

MediaEngine::~MediaEngine()
{
    Stop();
}

bool MediaEngine::Start(int lineCount, bool useSoundDevice, MediaEngineOwner* owner)
{
    Stop();
    window_ = std::make_unique<MessageWindow>(loop_, "OrvRTPObjectWnd",
                                              [this](unsigned message, std::uintptr_t wParam, std::intptr_t) {
                                                  OnWindowMessage(message, wParam);
                                              });
    for (int line = 0; line < lineCount; ++line)
        lines_.push_back(std::make_unique<MediaLine>(line, owner, !useSoundDevice));
    attachments_ = DeviceAttachments(lineCount);
    received_.assign(lines_.size(), MediaLine::Block{});
    yielded_.assign(lines_.size(), 0);
    if (useSoundDevice)
        audioDevice_ = std::make_unique<AudioDevice>(static_cast<AudioDeviceOwner&>(*this));
    running_ = true;
    lastError_ = MediaOk;
    return true;
}

void MediaEngine::Stop()
{
    clock_.Stop();
    microphoneBeats_ = false;
    tonePlayer_.Stop();
    for (std::size_t line = 0; line < lines_.size(); ++line)
        attachments_.Detach(static_cast<int>(line), audioDevice_.get());
    audioDevice_.reset();
    for (auto& line : lines_)
        line->Close();
    lines_.clear();
    lineOfSocket_.clear();
    window_.reset();
    running_ = false;
}

MediaEngine::Beat MediaEngine::CurrentBeat() const
{
    if (microphoneBeats_)
        return Beat::Microphone;
    return clock_.IsRunning() ? Beat::Clock : Beat::None;
}

// The clock's thread is stopped before the microphone takes over, and the
// microphone has stopped before the thread takes over again, so no two ticks
// ever run at once.
void MediaEngine::UpdateBeat()
{
    SetTicksPerWake(WantedTicksPerWake());
    if (audioDevice_ != nullptr && audioDevice_->CaptureRunning()) {
        clock_.Stop();
        microphoneBeats_ = true;
        return;
    }
    microphoneBeats_ = false;
    if (std::any_of(lines_.begin(), lines_.end(), [](const auto& line) { return line->HasMedia(); }))
        clock_.Start();
    else
        clock_.Stop();
}

// G.729's 10 ms packets and iLBC's 30 ms ones keep the 10 ms wake-up, so that
// every packet leaves on time.
int MediaEngine::WantedTicksPerWake()
{
    const bool pairs = std::all_of(lines_.begin(), lines_.end(), [](const auto& line) {
        return !line->HasMedia() || (line->BlocksPerPacket() % 2 == 0 && !line->SendsTelephoneEvents());
    });
    return pairs ? 2 : 1;
}

void MediaEngine::SetTicksPerWake(int ticks)
{
    clock_.SetTicksPerWake(ticks);
    if (audioDevice_ != nullptr)
        audioDevice_->SetBlocksPerWake(ticks);
}

void MediaEngine::WakeEveryTickForEvents()
{
    SetTicksPerWake(1);
    window_->SetTimer(EventsSentTimer, EventsSentCheckMs);
}

void MediaEngine::CheckEventsSent()
{
    if (std::any_of(lines_.begin(), lines_.end(), [](const auto& line) { return line->SendsTelephoneEvents(); }))
        return;
    window_->KillTimer(EventsSentTimer);
    SetTicksPerWake(WantedTicksPerWake());
}

bool MediaEngine::StartsWake()
{
    constexpr auto SameWake = std::chrono::milliseconds(4);
    const auto now = std::chrono::steady_clock::now();
    const bool starts = now - lastTick_ >= SameWake;
    lastTick_ = now;
    return starts;
}

void MediaEngine::NoteSocket(int line)
{
    const auto index = static_cast<std::size_t>(line);
    std::erase_if(lineOfSocket_, [index](const auto& entry) { return entry.second == index; });
    const int fd = lines_[index]->SocketDescriptor();
    if (fd >= 0)
        lineOfSocket_[fd] = index;
}

MediaLine* MediaEngine::CheckedLine(int line)
{
    if (line < 0 || line >= static_cast<int>(lines_.size())) {
        lastError_ = MediaBadLine;
        return nullptr;
    }
    return lines_[static_cast<std::size_t>(line)].get();
}

MediaLine* MediaEngine::CheckedOpenLine(int line)
{
    MediaLine* found = CheckedLine(line);
    if (found != nullptr && !found->IsOpen()) {
        lastError_ = MediaLineNotOpen;
        return nullptr;
    }
    return found;
}

bool MediaEngine::OpenLine(int line, bool bindToIp, const std::string& ip, int port)
{
    if (!running_) {
        lastError_ = MediaNotRunning;
        return false;
    }
    MediaLine* target = CheckedLine(line);
    if (target == nullptr)
        return false;
    int error = target->Open(bindToIp, ip, port, *window_);
    NoteSocket(line);
    UpdateBeat();
    if (error != MediaOk)
        lastError_ = error;
    return error == MediaOk;
}

bool MediaEngine::CloseLine(int line)
{
    if (!running_) {
        lastError_ = MediaNotRunning;
        return false;
    }
    MediaLine* target = CheckedLine(line);
    if (target == nullptr)
        return false;
    target->Close();
    NoteSocket(line);
    UpdateBeat();
    return true;
}

bool MediaEngine::IsLineOpen(int line)
{
    MediaLine* target = CheckedLine(line);
    return target != nullptr && target->IsOpen();
}

bool MediaEngine::IsLineHold(int line)
{
    MediaLine* target = CheckedLine(line);
    return target != nullptr && target->IsHold();
}

std::string MediaEngine::GetLocalAddress(int line)
{
    MediaLine* target = CheckedOpenLine(line);
    return target != nullptr ? target->LocalAddress() : std::string();
}

int MediaEngine::GetLocalPort(int line)
{
    MediaLine* target = CheckedOpenLine(line);
    return target != nullptr ? target->LocalPort() : -1;
}

bool MediaEngine::StartMedia(int line, const std::string& remoteIp, int remotePort, int codec, int payloadType,
                             bool send, bool receive, int packetTimeMs)
{
    MediaLine* target = CheckedOpenLine(line);
    if (target == nullptr)
        return false;
    target->StartMedia(remoteIp, remotePort, codec, payloadType, send, receive, packetTimeMs);
    UpdateBeat();
    return true;
}

bool MediaEngine::StopMedia(int line, bool disableSend, bool disableReceive)
{
    MediaLine* target = CheckedOpenLine(line);
    if (target == nullptr)
        return false;
    target->StopMedia(disableSend, disableReceive);
    UpdateBeat();
    return true;
}

int MediaEngine::PrepareRtcp(int line, bool ownPort)
{
    MediaLine* target = CheckedOpenLine(line);
    return target != nullptr ? target->PrepareRtcp(ownPort) : 0;
}

bool MediaEngine::StartRtcp(int line, const RtcpTarget& rtcp)
{
    MediaLine* target = CheckedOpenLine(line);
    if (target != nullptr)
        target->StartRtcp(rtcp);
    return target != nullptr;
}

std::string MediaEngine::GetCallStatistics(int line)
{
    MediaLine* target = CheckedOpenLine(line);
    return target != nullptr ? target->Statistics().ToText() : std::string();
}

bool MediaEngine::SetMediaKeys(int line, const std::shared_ptr<SrtpSession>& session, const SrtpKeys& keys)
{
    MediaLine* target = CheckedOpenLine(line);
    return target != nullptr && target->SetKeys(session, keys);
}

std::string MediaEngine::GetMediaEncryption(int line)
{
    MediaLine* target = CheckedOpenLine(line);
    return target != nullptr ? target->EncryptionSuite() : std::string();
}

bool MediaEngine::Hold(int line)
{
    MediaLine* target = CheckedOpenLine(line);
    if (target != nullptr)
        target->SetHold(true);
    return target != nullptr;
}

bool MediaEngine::Unhold(int line)
{
    MediaLine* target = CheckedOpenLine(line);
    if (target != nullptr)
        target->SetHold(false);
    return target != nullptr;
}

int MediaEngine::GetOutboundCodec(int line)
{
    MediaLine* target = CheckedOpenLine(line);
    return target != nullptr ? target->OutboundCodec() : -1;
}

int MediaEngine::GetInboundCodec(int line)
{
    MediaLine* target = CheckedOpenLine(line);
    return target != nullptr ? target->InboundCodec() : -1;
}

bool MediaEngine::QueryStunServer(int line, const NetworkEndpoint& server, const StunMessage::TransactionId& id)
{
    MediaLine* target = CheckedOpenLine(line);
    if (target != nullptr)
        target->QueryStunServer(server, id);
    return target != nullptr;
}

void MediaEngine::ResendStunQuery(int line)
{
    if (MediaLine* target = CheckedOpenLine(line))
        target->ResendStunQuery();
}

bool MediaEngine::StunQueryPending(int line)
{
    MediaLine* target = CheckedOpenLine(line);
    return target != nullptr && target->StunQueryPending();
}

std::optional<NetworkEndpoint> MediaEngine::StunMappedAddress(int line)
{
    MediaLine* target = CheckedOpenLine(line);
    return target != nullptr ? target->StunMappedAddress() : std::nullopt;
}

void MediaEngine::ForgetStunMapping(int line)
{
    if (MediaLine* target = CheckedOpenLine(line))
        target->ForgetStunMapping();
}

bool MediaEngine::AttachDevices(int line, int inputDevice, int outputDevice)
{
    int error = attachments_.Attach(line, inputDevice, outputDevice, audioDevice_.get());
    UpdateBeat();
    if (error != MediaOk)
        lastError_ = error;
    return error == MediaOk;
}

bool MediaEngine::DetachDevices(int line)
{
    int error = attachments_.Detach(line, audioDevice_.get());
    UpdateBeat();
    if (error != MediaOk)
        lastError_ = error;
    return error == MediaOk;
}

void MediaEngine::OnClockTick()
{
    const bool read = StartsWake();
    const bool pulledBySpeaker = SpeakerPlaying();
    for (auto& line : lines_) {
        if (read)
            line->ReadOnBeat(pulledBySpeaker, beatBatch_);
        line->SendTick();
        line->RecorderTick();
    }
}

bool MediaEngine::SpeakerPlaying() const
{
    return audioDevice_ != nullptr && audioDevice_->PlaybackRunning();
}

void MediaEngine::OnCaptureTick()
{
    if (microphoneBeats_)
        OnClockTick();
}

void MediaEngine::OnMicrophoneBlock(std::span<const std::int16_t, BlockSamples> block)
{
    MediaLine::Block microphone;
    std::copy(block.begin(), block.end(), microphone.begin());
    for (auto& line : lines_)
        line->SendMicrophoneBlock(microphone);
}

// Plays the sum of all lines and feeds every line what the others received, so
// that lines on the same sound device hear each other.
bool MediaEngine::OnSpeakerBlock(std::span<std::int16_t, BlockSamples> block)
{
    std::vector<MediaLine::Block>& received = received_;
    std::vector<std::uint8_t>& yielded = yielded_;
    std::array<int, BlockSamples> sum{};
    bool any = false;
    for (std::size_t at = 0; at < lines_.size(); ++at) {
        yielded[at] = lines_[at]->PullSpeakerBlock(received[at], audioDevice_->PlaybackDepth());
        any = any || yielded[at];
        for (std::size_t sample = 0; yielded[at] && sample < BlockSamples; ++sample)
            sum[sample] += received[at][sample];
    }
    auto saturated = [](int value) { return static_cast<std::int16_t>(std::clamp(value, -32768, 32767)); };
    for (std::size_t sample = 0; any && sample < BlockSamples; ++sample)
        block[sample] = saturated(sum[sample]);
    for (std::size_t at = 0; any && at < lines_.size(); ++at) {
        MediaLine::Block others;
        for (std::size_t sample = 0; sample < BlockSamples; ++sample)
            others[sample] = saturated(sum[sample] - (yielded[at] ? received[at][sample] : 0));
        lines_[at]->WriteMixRing(others);
    }
    bool tone = tonePlayer_.MixInto(block);
    return any || tone;
}

bool MediaEngine::SendDtmfEvent(int line, int payloadType, int code)
{
    MediaLine* target = CheckedOpenLine(line);
    if (target != nullptr && target->QueueTelephoneEvent(code, payloadType))
        WakeEveryTickForEvents();
    return target != nullptr;
}

bool MediaEngine::PlayInbandDtmf(int line, int code)
{
    MediaLine* target = CheckedOpenLine(line);
    if (target != nullptr)
        target->QueueInbandTone(code);
    return target != nullptr;
}

bool MediaEngine::SetForceInband(int line, bool force)
{
    MediaLine* target = CheckedOpenLine(line);
    if (target != nullptr)
        target->SetForceInband(force);
    return target != nullptr;
}

bool MediaEngine::IsForceInband(int line)
{
    MediaLine* target = CheckedOpenLine(line);
    return target != nullptr && target->ForceInband();
}

int MediaEngine::SetTOS(int line, int)
{
    CheckedOpenLine(line);
    return 0;
}

int MediaEngine::GetTOS(int line)
{
    CheckedOpenLine(line);
    return 0;
}

void MediaEngine::PlayLocalTone(int code)
{
    tonePlayer_.Play(code, SpeakerPlaying());
}

void MediaEngine::OnWindowMessage(unsigned message, std::uintptr_t wParam)
{
    if (message == MessageWindow::TimerMessage && wParam == EventsSentTimer) {
        CheckEventsSent();
        return;
    }
    if (message != RtpSocket::ReadableMessage)
        return;
    const int fd = static_cast<int>(wParam);
    const auto found = lineOfSocket_.find(fd);
    if (found != lineOfSocket_.end())
        lines_[found->second]->OnReadable(fd, SpeakerPlaying(), rtpBatch_);
}

bool MediaEngine::Succeeded(int mediaCode)
{
    if (mediaCode != MediaOk)
        lastError_ = mediaCode;
    return mediaCode == MediaOk;
}

bool MediaEngine::PlayWaveOpen(int line, const std::string& path)
{
    return RunOnPlayer(line, [&](WavePlayer& player) { return player.Open(path); });
}

bool MediaEngine::PlayWaveSkipTo(int line, int seconds)
{
    return RunOnPlayer(line, [seconds](WavePlayer& player) {
        player.SkipTo(seconds);
        return MediaOk;
    });
}

int MediaEngine::PlayWaveTotalTime(int line)
{
    return AskPlayer(line, -1, [](WavePlayer& player) { return player.TotalSeconds(); });
}

bool MediaEngine::PlayWavePause(int line)
{
    return RunOnPlayer(line, [](WavePlayer& player) {
        player.Pause();
        return MediaOk;
    });
}

bool MediaEngine::PlayWaveStart(int line, bool listen)
{
    return RunOnPlayer(line, [listen](WavePlayer& player) {
        player.Start(listen);
        return MediaOk;
    });
}

bool MediaEngine::PlayWaveStop(int line)
{
    return RunOnPlayer(line, [](WavePlayer& player) {
        player.Stop();
        return MediaOk;
    });
}

int MediaEngine::PlayWavePosition(int line)
{
    return AskPlayer(line, -1, [](WavePlayer& player) { return player.PositionSeconds(); });
}

bool MediaEngine::IsWaveFilePlaying(int line)
{
    return AskPlayer(line, false, [](WavePlayer& player) { return player.IsPlaying(); });
}

bool MediaEngine::StartRecording(int line, int voice, bool compress)
{
    return RunOnRecorder(line, [&](CallRecorder& recorder) { return recorder.Start(voice, compress); });
}

bool MediaEngine::StopRecording(int line)
{
    return RunOnRecorder(line, [](CallRecorder& recorder) {
        recorder.Stop();
        return MediaOk;
    });
}

bool MediaEngine::ResetRecording(int line)
{
    return RunOnRecorder(line, [](CallRecorder& recorder) {
        recorder.Reset();
        return MediaOk;
    });
}

// The line's lock is held only to flush the recording; the copy runs without it, so
// capture, playout and the media beat go on while a long recording is saved.
bool MediaEngine::SaveRecordingToWaveFile(int line, const std::string& path)
{
    MediaLine* target = CheckedOpenLine(line);
    if (target == nullptr)
        return false;
    const std::optional<CallRecorder::SaveJob> job =
        target->OnRecorder([](CallRecorder& recorder) { return recorder.PrepareSave(); });
    return Succeeded(job ? CallRecorder::WriteSaved(*job, path) : MediaCannotOpenFile);
}

bool MediaEngine::SetRecordingChannels(int line, int channels)
{
    return RunOnRecorder(line, [channels](CallRecorder& recorder) { return recorder.SetChannels(channels); });
}

bool MediaEngine::IsRecording(int line)
{
    return AskRecorder(line, false, [](CallRecorder& recorder) { return recorder.IsRecording(); });
}
