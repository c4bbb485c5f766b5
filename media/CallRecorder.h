#pragma once

#include "media/BlockFifo.h"
#include "media/GsmWav49.h"
#include "media/JitterBuffer.h"
#include "media/WaveFormat.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class TempFile;

// Records a call into a temporary file of the line (created when the line opens,
// readable by its owner only, deleted when it closes): own voice, remote voice or
// both, every 10 ms, written every 800 ms as 8 kHz 16-bit PCM or, with compression,
// as GSM 06.10 in its WAV packing. In mono the two voices are mixed; in stereo this
// side's voice is the left channel and the peer's the right one, block by block, so
// the two stay aligned (GSM 06.10 has no stereo form: no compression then). Saving
// copies the recording into a WAV file and recording goes on; the copy streams from
// the file outside the line's lock (PrepareSave, then WriteSaved), so the audio
// never waits for it. Not locked: the line locks (the jitter buffer locks itself).
class CallRecorder {
public:
    static constexpr std::size_t BlockSamples = BlockFifo::BlockSamples;
    static constexpr std::size_t BufferSamples = 6400; // 800 ms
    // Record-voice selectors.
    static constexpr int OwnVoice = 0;
    static constexpr int RemoteVoice = 1;
    static constexpr int BothVoices = 2;
    static constexpr int Mono = 1;
    static constexpr int Stereo = 2;
    // The most a heard block waits: more would overrun the block queue.
    static constexpr int MaxHeardDelayBlocks = 3;
    using Block = std::array<std::int16_t, BlockSamples>;

    // What saving needs once the recording is flushed: the file, the bytes recorded
    // up to now and their format. The file stays open while a save holds it.
    struct SaveJob {
        std::shared_ptr<const TempFile> file;
        std::int64_t bytes = 0;
        WaveFormat format;
    };

    CallRecorder();
    ~CallRecorder();
    CallRecorder(const CallRecorder&) = delete;
    CallRecorder& operator=(const CallRecorder&) = delete;

    // A new temporary file in place of any previous one; a media error code (59).
    int CreateFile();
    // Recording off and the temporary file gone.
    void DeleteFile();
    bool HasFile() const { return file_ != nullptr; }

    // 60 for a selector outside 0..2, and for compression of a stereo recording.
    // Changing the compression converts what is already recorded.
    int Start(int voice, bool compress);
    // 1 (mixed mono) or 2 (stereo); 60 for anything else, and for stereo while
    // compressing. What is already recorded is converted: stereo becomes the mix of
    // its channels, mono is heard on both.
    int SetChannels(int channels);
    int Channels() const { return channels_; }
    void Stop();
    // Empties the recording.
    void Reset();
    // A WAV file of the recording; 63 when it cannot be saved (the recording stays).
    int Save(const std::string& path);
    // Flushes the recording and tells what a save copies; nothing without a file.
    std::optional<SaveJob> PrepareSave();
    // Copies what the job names into a WAV file, a piece at a time: 0, or 63 (the
    // half-written file is removed).
    static int WriteSaved(const SaveJob& job, const std::string& path);
    bool IsRecording() const { return recording_; }
    bool IsCompressing() const { return compress_; }

    // The audio of the call, as the line sends and receives it. While a sound device
    // plays the line, the peer's voice is taken as the speaker gets it (heard),
    // recorded `delayBlocks` ticks later (the blocks the device plays before it, and
    // the tick the line's own voice waits for the beat), so that both voices keep
    // the moments they were played and heard; otherwise as it arrives, through a
    // jitter buffer of the recorder's own.
    void FeedOwnVoice(const Block& block);
    void FeedRemoteVoice(std::uint16_t sequence, int codec, std::uint32_t timestamp,
                         std::span<const std::int16_t> pcm);
    void FeedHeardVoice(const Block& block, int delayBlocks);
    // Forgets what was fed and not yet recorded (a new call, hold).
    void ResetStreams();
    // Every 10 ms while the line carries a call: one block of the mix into the recording.
    void Tick();

private:
    bool Active() const { return recording_ && file_ != nullptr; }
    // Writes the first `frames` of the buffer (whole GSM blocks) and empties it.
    void WriteBuffered(std::size_t frames);
    void Flush();
    void ConvertRecording(bool toCompressed);
    // The PCM recorded so far, rewritten with `channels`.
    void ConvertChannels(int channels);
    WaveFormat FileFormat() const;

    std::shared_ptr<TempFile> file_;
    bool recording_ = false;
    int voice_ = BothVoices;
    bool compress_ = false;
    int channels_ = Mono;
    // Interleaved in stereo; room for 800 ms of either.
    std::vector<std::int16_t> buffer_;
    // Frames: a sample in mono, a pair in stereo.
    std::size_t buffered_ = 0;
    // What goes to the file at each write: GSM blocks or little-endian PCM.
    std::vector<std::uint8_t> encoded_;
    JitterBuffer remote_;
    BlockFifo own_;
    BlockFifo heard_;
    int heardDelayBlocks_ = 0;
    GsmWav49 gsm_;
};
