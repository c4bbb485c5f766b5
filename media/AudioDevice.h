#pragma once

#include "media/AudioDeviceOwner.h"
#include "media/EchoGainProcessor.h"
#include "media/LevelMeter.h"
#include "platform/WaveBackend.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

// The sound card of the media engine: one capture stream feeding every line's
// sending path through the echo and gain processor, and one playback stream
// pulling the lines' mixed audio, both 8000 Hz 16-bit mono in 10 ms blocks.
// Playback keeps as many blocks in flight (out of 500 buffers) as the device needs
// ahead of it (PlaybackDepth: one for the virtual speaker, a few for a sound card):
// each block played brings the next one, and when the device ran out of blocks it
// is filled up to that depth again. Capture keeps 25 buffers queued and holds one
// block back. A block becomes the echo canceller's reference once it has been
// played, not when it is queued ahead, so reference and echo meet within the
// canceller's tail; a block handed back unplayed is no reference. The last volumes
// and microphone boost set on a stream are applied to every stream opened later. Opening a stream while one is open
// replaces it once the new device has opened. Closing hands back every buffer and returns only when no callback
// of the stream can run any more.
class AudioDevice {
public:
    static constexpr std::size_t BlockSamples = AudioDeviceOwner::BlockSamples;
    static constexpr int PlaybackBuffers = 500;
    static constexpr int CaptureBuffers = 25;
    // Buffer states.
    static constexpr int BufferFree = 1001;
    static constexpr int BufferDone = 1002;
    static constexpr int BufferQueued = 1003;

    explicit AudioDevice(AudioDeviceOwner& owner, WaveBackend& backend = WaveBackend::Current());
    ~AudioDevice();
    AudioDevice(const AudioDevice&) = delete;
    AudioDevice& operator=(const AudioDevice&) = delete;

    // 0, or 53 / 54 when the device cannot be opened.
    int OpenCapture(int deviceId);
    int OpenPlayback(int deviceId);
    void CloseCapture();
    void ClosePlayback();
    // Names the open stream; 0 when none. Every open gives a new handle.
    std::uint32_t CaptureHandle() const { return captureHandle_; }
    std::uint32_t PlaybackHandle() const { return playbackHandle_; }
    bool CaptureRunning() const { return captureRunning_; }
    // Blocks a pacer may move back to back per wake-up (1 or 2), for the streams
    // open now and those opened later; a device with a pace of its own keeps it.
    void SetBlocksPerWake(int blocks);
    bool PlaybackRunning() const { return playbackRunning_; }
    // The blocks the playback stream keeps in flight; 0 without one.
    int PlaybackDepth() const { return playbackDepth_; }
    // Blocks handed to the playback stream and not yet back.
    int PlaybackBlocksInFlight() const { return playbackInFlight_; }

    void MuteMicrophone(bool mute);
    void MuteSpeaker(bool mute) { speakerMuted_ = mute; }
    bool MicrophoneMuted() const { return microphoneMuted_; }
    bool SpeakerMuted() const { return speakerMuted_; }

    // Volumes 0..255; results are AudioError codes.
    int GetSpeakerVolume(int& volume);
    int SetSpeakerVolume(int volume);
    int GetMicrophoneVolume(int& volume);
    int SetMicrophoneVolume(int volume);
    int SetMicrophoneBoost(bool on);
    int GetMicrophoneBoost(bool& on);

    int MicrophoneLevel() { return microphoneMeter_.Read(); }
    int SpeakerLevel() { return speakerMeter_.Read(); }
    EchoGainProcessor& EchoGain() { return echoGain_; }
    // The state of every capture or playback buffer, for inspection.
    std::vector<int> CaptureBufferStates() const;
    std::vector<int> PlaybackBufferStates() const;

private:
    using Block = std::array<std::int16_t, BlockSamples>;

    void OnCaptureNotice(WaveNotice notice, WaveBlock* block);
    void OnPlaybackNotice(WaveNotice notice, WaveBlock* block);
    void ProcessCapturedBlock(const WaveBlock& block);
    // Writes mixed blocks until the depth is in flight.
    void FillPlayback();
    void PlayNextBlock();
    void WritePlaybackBlock(const Block& samples);
    void OnPlaybackUnderrun();
    void FeedEchoReference(std::span<const std::int16_t, BlockSamples> played);
    void RestoreCaptureControls();
    void RestorePlaybackControls();
    bool QueueCaptureBuffers();
    void PrimePlayback();
    void CloseCaptureLocked();
    void ClosePlaybackLocked();
    static void FreeDoneBuffers(std::atomic<int>* states, int count);

    AudioDeviceOwner& owner_;
    WaveBackend& backend_;
    EchoGainProcessor echoGain_;
    LevelMeter microphoneMeter_;
    LevelMeter speakerMeter_;

    // Guards opening, closing and the mixer; never taken by the stream callbacks.
    std::mutex streamsMutex_;
    std::uint32_t nextHandle_ = 1;

    std::unique_ptr<WaveStream> capture_;
    std::atomic<std::uint32_t> captureHandle_{0};
    std::atomic<bool> captureRunning_{false};
    std::atomic<bool> microphoneMuted_{false};
    std::vector<std::int16_t> captureData_;
    std::array<WaveBlock, CaptureBuffers> captureBlocks_{};
    std::array<std::atomic<int>, CaptureBuffers> captureStates_{};
    Block heldBlock_{};

    std::unique_ptr<WaveStream> playback_;
    std::atomic<std::uint32_t> playbackHandle_{0};
    std::atomic<bool> playbackRunning_{false};
    std::atomic<bool> speakerMuted_{false};
    std::vector<std::int16_t> playbackData_;
    std::array<WaveBlock, PlaybackBuffers> playbackBlocks_{};
    std::array<std::atomic<int>, PlaybackBuffers> playbackStates_{};
    int playbackSlot_ = 0;
    std::atomic<int> playbackDepth_{0};
    std::atomic<int> playbackInFlight_{0};

    // Guarded by streamsMutex_.
    int blocksPerWake_ = 1;
    // The last values the host set on an open stream (guarded by streamsMutex_).
    std::optional<int> speakerVolume_;
    std::optional<int> microphoneVolume_;
    std::optional<bool> microphoneBoost_;
};
