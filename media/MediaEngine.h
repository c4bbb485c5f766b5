#pragma once

#include "media/AudioControl.h"
#include "media/AudioDeviceOwner.h"
#include "media/DeviceAttachments.h"
#include "media/LocalTonePlayer.h"
#include "media/MediaClock.h"
#include "media/MediaLine.h"
#include "platform/DatagramBatch.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class AudioDevice;
class MediaEngineOwner;
class MessageLoop;
class MessageWindow;

// Owner of the media lines of the user agent and, when the host asked for one, of
// the sound device they share. The lines' 10 ms work beats with the microphone
// while one runs, on the media clock's thread while a line has media without one,
// and not at all otherwise. The beat also reads the RTP of the lines with media;
// the message loop reads (and drops) what comes to the others.
class MediaEngine : private AudioDeviceOwner {
public:
    enum class Beat { None, Clock, Microphone };
    // The largest RTP datagram read; a larger one is dropped.
    static constexpr std::size_t MaxRtpDatagram = 2048;

    explicit MediaEngine(MessageLoop& loop);
    ~MediaEngine() override;
    MediaEngine(const MediaEngine&) = delete;
    MediaEngine& operator=(const MediaEngine&) = delete;

    bool Start(int lineCount, bool useSoundDevice, MediaEngineOwner* owner);
    int LineCount() const { return static_cast<int>(lines_.size()); }
    void Stop();
    bool IsRunning() const { return running_; }
    int LastError() const { return lastError_; }

    bool OpenLine(int line, bool bindToIp, const std::string& ip, int port);
    bool CloseLine(int line);
    bool IsLineOpen(int line);
    bool IsLineHold(int line);
    std::string GetLocalAddress(int line);
    int GetLocalPort(int line);

    // packetTimeMs: the peer's a=ptime, 0 for none.
    bool StartMedia(int line, const std::string& remoteIp, int remotePort, int codec, int payloadType, bool send,
                    bool receive, int packetTimeMs = 0);
    bool StopMedia(int line, bool disableSend, bool disableReceive);
    // RTCP (MediaLine): the port an SDP of this side announces (0 for none; never a
    // failure), and where the peer takes it once its SDP is known.
    int PrepareRtcp(int line, bool ownPort);
    bool StartRtcp(int line, const RtcpTarget& target);
    // The figures of the line's call, or of its last one; empty on a failed check.
    std::string GetCallStatistics(int line);
    // The SRTP session and keys of the line's call (MediaLine::SetKeys): set before StartMedia.
    bool SetMediaKeys(int line, const std::shared_ptr<SrtpSession>& session, const SrtpKeys& keys);
    // The SRTP suite of the line's call, empty for plain RTP or a failed check.
    std::string GetMediaEncryption(int line);
    bool Hold(int line);
    bool Unhold(int line);
    int GetOutboundCodec(int line);
    int GetInboundCodec(int line);
    // The public address of an open line's RTP socket, asked of a STUN server from
    // that socket (a new request), and the pending request sent again.
    bool QueryStunServer(int line, const NetworkEndpoint& server, const StunMessage::TransactionId& id);
    void ResendStunQuery(int line);
    bool StunQueryPending(int line);
    // What the server told; nothing before an answer, after ForgetStunMapping, or
    // once the line closed.
    std::optional<NetworkEndpoint> StunMappedAddress(int line);
    void ForgetStunMapping(int line);
    bool AttachDevices(int line, int inputDevice, int outputDevice);
    bool DetachDevices(int line);
    // The host's sound controls; they work without a sound device as far as they can.
    AudioControl Sound() { return AudioControl(audioDevice_.get()); }

    bool SendDtmfEvent(int line, int payloadType, int code);
    bool PlayInbandDtmf(int line, int code);
    bool SetForceInband(int line, bool force);
    bool IsForceInband(int line);
    // The type-of-service byte is never set: both answer 0.
    int SetTOS(int line, int value);
    int GetTOS(int line);
    void PlayLocalTone(int code);

    // Wave files played into a line's call, and the line's call recording. Each
    // needs the line open (61, 62); failures leave 60, 63, 64 or 66 as the error.
    bool PlayWaveOpen(int line, const std::string& path);
    bool PlayWaveSkipTo(int line, int seconds);
    // Whole seconds, rounded up; 0 without a file, -1 on a failed check.
    int PlayWaveTotalTime(int line);
    bool PlayWavePause(int line);
    // Nothing happens without a file of some length.
    bool PlayWaveStart(int line, bool listen);
    bool PlayWaveStop(int line);
    int PlayWavePosition(int line);
    bool IsWaveFilePlaying(int line);
    bool StartRecording(int line, int voice, bool compress);
    bool StopRecording(int line);
    bool ResetRecording(int line);
    bool SaveRecordingToWaveFile(int line, const std::string& path);
    // 1 mixed mono, 2 stereo (this side left, the peer right); 60 otherwise.
    bool SetRecordingChannels(int line, int channels);
    bool IsRecording(int line);
    int DtmfVolume() const { return tonePlayer_.Volume(); }
    void SetDtmfVolume(int volume) { tonePlayer_.SetVolume(volume); }
    // Once a second while TonePlayerNeedsChecks: the key tone player stops after a
    // quiet second.
    void CheckTonePlayer() { tonePlayer_.CheckIdle(); }
    bool TonePlayerNeedsChecks() const { return tonePlayer_.NeedsChecks(); }
    // What gives the lines their 10 ms beat now.
    Beat CurrentBeat() const;
    // Beats per wake-up of the media clock and the virtual sound device: 2 while
    // every line with media sends 20 ms packets, 1 otherwise.
    int TicksPerWake() const { return clock_.TicksPerWake(); }

private:
    MediaLine* CheckedLine(int line);
    MediaLine* CheckedOpenLine(int line);
    // true for 0; otherwise the code becomes the last error.
    bool Succeeded(int mediaCode);
    // An operation of an open line's wave player or recorder that gives a media
    // error code; false when the line check or the operation fails.
    template <typename Action>
    bool RunOnPlayer(int line, Action&& action)
    {
        MediaLine* target = CheckedOpenLine(line);
        return target != nullptr && Succeeded(target->OnPlayer(action));
    }
    template <typename Action>
    bool RunOnRecorder(int line, Action&& action)
    {
        MediaLine* target = CheckedOpenLine(line);
        return target != nullptr && Succeeded(target->OnRecorder(action));
    }
    // A question to an open line's wave player or recorder; `failed` when the line
    // check fails.
    template <typename Result, typename Action>
    Result AskPlayer(int line, Result failed, Action&& action)
    {
        MediaLine* target = CheckedOpenLine(line);
        return target != nullptr ? target->OnPlayer(action) : failed;
    }
    template <typename Result, typename Action>
    Result AskRecorder(int line, Result failed, Action&& action)
    {
        MediaLine* target = CheckedOpenLine(line);
        return target != nullptr ? target->OnRecorder(action) : failed;
    }
    static constexpr unsigned EventsSentTimer = 1;
    static constexpr int EventsSentCheckMs = 100;

    void OnWindowMessage(unsigned message, std::uintptr_t wParam);
    void OnClockTick();
    // Chooses the beat after lines' media or the devices changed.
    void UpdateBeat();
    int WantedTicksPerWake();
    void SetTicksPerWake(int ticks);
    // Every telephone-event packet leaves on a 10 ms tick of its own: the beat wakes
    // every 10 ms while a line sends them, and the 20 ms wake-up comes back once a
    // check of the host's thread finds them all out.
    void WakeEveryTickForEvents();
    void CheckEventsSent();
    // Whether this tick starts a wake-up of the beat: the ticks of one wake-up
    // follow one another at once, and the sockets are read on the first of them,
    // so that a read seldom finds nothing. On the beat only.
    bool StartsWake();
    // Notes which line reads the RTP socket of `line` after it opened or closed.
    void NoteSocket(int line);
    bool SpeakerPlaying() const;
    void OnCaptureTick() override;
    void OnMicrophoneBlock(std::span<const std::int16_t, BlockSamples> block) override;
    bool OnSpeakerBlock(std::span<std::int16_t, BlockSamples> block) override;

    MessageLoop& loop_;
    std::unique_ptr<MessageWindow> window_;
    std::vector<std::unique_ptr<MediaLine>> lines_;
    std::unique_ptr<AudioDevice> audioDevice_;
    DeviceAttachments attachments_{0};
    MediaClock clock_{[this] { OnClockTick(); }};
    std::atomic<bool> microphoneBeats_{false};
    // On the beat only.
    std::chrono::steady_clock::time_point lastTick_{};
    LocalTonePlayer tonePlayer_;
    // Read on the message loop's thread only: lines without a call's media.
    DatagramBatch rtpBatch_{MediaLine::MaxDatagramsPerRead, MaxRtpDatagram};
    // Read on the beat only (one beat runs at a time): lines with a call's media.
    DatagramBatch beatBatch_{MediaLine::MaxDatagramsPerRead, MaxRtpDatagram};
    std::unordered_map<int, std::size_t> lineOfSocket_;
    // The playback thread's room for mixing, one entry per line.
    std::vector<MediaLine::Block> received_;
    std::vector<std::uint8_t> yielded_;
    bool running_ = false;
    int lastError_ = 0;
};
