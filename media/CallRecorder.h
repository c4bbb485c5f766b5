#pragma once

#include "media/BlockFifo.h"
#include "media/GsmWav49.h"
#include "media/JitterBuffer.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

class TempFile;

// Records a call into a temporary file of the line (created when the line opens,
// readable by its owner only, deleted when it closes): own voice, remote voice or
// both, mixed every 10 ms and written every 800 ms as 8 kHz 16-bit PCM or, with
// compression, as GSM 06.10 in its WAV packing. Saving copies the recording into a
// WAV file and recording goes on. Not locked: the line locks (the jitter buffer
// locks itself).
class CallRecorder {
public:
    static constexpr std::size_t BlockSamples = BlockFifo::BlockSamples;
    static constexpr std::size_t BufferSamples = 6400; // 800 ms
    // Record-voice selectors.
    static constexpr int OwnVoice = 0;
    static constexpr int RemoteVoice = 1;
    static constexpr int BothVoices = 2;
    using Block = std::array<std::int16_t, BlockSamples>;

    CallRecorder();
    ~CallRecorder();
    CallRecorder(const CallRecorder&) = delete;
    CallRecorder& operator=(const CallRecorder&) = delete;

    // A new temporary file in place of any previous one; a media error code (59).
    int CreateFile();
    // Recording off and the temporary file gone.
    void DeleteFile();
    bool HasFile() const { return file_ != nullptr; }

    // 60 for a selector outside 0..2. Changing the compression converts what is
    // already recorded.
    int Start(int voice, bool compress);
    void Stop();
    // Empties the recording.
    void Reset();
    // A WAV file of the recording; 63 when it cannot be saved (the recording stays).
    int Save(const std::string& path);
    bool IsRecording() const { return recording_; }
    bool IsCompressing() const { return compress_; }

    // The audio of the call, as the line sends and receives it.
    void FeedOwnVoice(const Block& block);
    void FeedRemoteVoice(std::uint16_t sequence, int codec, std::uint32_t timestamp,
                         std::span<const std::int16_t> pcm);
    // Forgets what was fed and not yet recorded (a new call, hold).
    void ResetStreams();
    // Every 10 ms while the line carries a call: one block of the mix into the recording.
    void Tick();

private:
    bool Active() const { return recording_ && file_ != nullptr; }
    void WriteBuffered(std::size_t samples);
    void Flush();
    void ConvertRecording(bool toCompressed);

    std::unique_ptr<TempFile> file_;
    bool recording_ = false;
    int voice_ = BothVoices;
    bool compress_ = false;
    std::vector<std::int16_t> buffer_;
    std::size_t buffered_ = 0;
    // What goes to the file at each write: GSM blocks or little-endian PCM.
    std::vector<std::uint8_t> encoded_;
    JitterBuffer remote_;
    BlockFifo own_;
    GsmWav49 gsm_;
};
