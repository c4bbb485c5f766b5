#include "media/CallRecorder.h"

#include "media/MediaError.h"
#include "media/WaveFile.h"
#include "platform/TempFile.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::size_t GsmBlockSamples = GsmWav49::BlockSamples;
// Pieces a save copies at a time: memory stays small however long the recording.
constexpr std::size_t SaveChunkBytes = 64 * 1024;

std::int16_t Saturated(int value)
{
    return static_cast<std::int16_t>(std::clamp(value, -32768, 32767));
}

// Little-endian 16-bit PCM into `bytes`, which holds two bytes per sample.
void WritePcmBytes(std::span<const std::int16_t> samples, std::uint8_t* bytes)
{
    for (std::size_t at = 0; at < samples.size(); ++at) {
        bytes[2 * at] = static_cast<std::uint8_t>(samples[at]);
        bytes[2 * at + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(samples[at]) >> 8);
    }
}

std::vector<std::uint8_t> PcmBytes(std::span<const std::int16_t> samples)
{
    std::vector<std::uint8_t> bytes(samples.size() * 2);
    WritePcmBytes(samples, bytes.data());
    return bytes;
}

std::vector<std::int16_t> PcmSamples(std::span<const std::uint8_t> bytes)
{
    std::vector<std::int16_t> samples(bytes.size() / 2);
    for (std::size_t at = 0; at < samples.size(); ++at)
        samples[at] = static_cast<std::int16_t>(bytes[2 * at] | bytes[2 * at + 1] << 8);
    return samples;
}

} // namespace

CallRecorder::CallRecorder()
    : buffer_(BufferSamples * Stereo),
      encoded_(std::max(BufferSamples / GsmBlockSamples * GsmWav49::BlockBytes, BufferSamples * Stereo * 2))
{
}

CallRecorder::~CallRecorder() = default;

int CallRecorder::CreateFile()
{
    DeleteFile();
    file_ = TempFile::Create("Orv");
    return file_ != nullptr ? MediaOk : MediaTempFileFailed;
}

void CallRecorder::DeleteFile()
{
    recording_ = false;
    buffered_ = 0;
    ResetStreams();
    file_.reset();
}

int CallRecorder::Start(int voice, bool compress)
{
    if (voice < OwnVoice || voice > BothVoices || (compress && channels_ == Stereo))
        return MediaBadRecordVoice;
    voice_ = voice;
    recording_ = true;
    if (compress != compress_)
        ConvertRecording(compress);
    return MediaOk;
}

int CallRecorder::SetChannels(int channels)
{
    if ((channels != Mono && channels != Stereo) || (channels == Stereo && compress_))
        return MediaBadRecordVoice;
    if (channels != channels_)
        ConvertChannels(channels);
    return MediaOk;
}

void CallRecorder::Stop()
{
    recording_ = false;
    ResetStreams();
}

void CallRecorder::Reset()
{
    if (file_ != nullptr)
        file_->Truncate();
    buffered_ = 0;
}

void CallRecorder::ResetStreams()
{
    remote_.Reset();
    own_.Clear();
    heard_.Clear();
}

void CallRecorder::FeedOwnVoice(const Block& block)
{
    if (Active() && voice_ != RemoteVoice)
        own_.Write(block);
}

void CallRecorder::FeedRemoteVoice(std::uint16_t sequence, int codec, std::uint32_t timestamp,
                                   std::span<const std::int16_t> pcm)
{
    if (Active() && voice_ != OwnVoice)
        remote_.Insert(sequence, codec, timestamp, pcm);
}

void CallRecorder::FeedHeardVoice(const Block& block, int delayBlocks)
{
    if (!Active() || voice_ == OwnVoice)
        return;
    heardDelayBlocks_ = std::clamp(delayBlocks, 0, MaxHeardDelayBlocks);
    heard_.Write(block);
}

// A heard block is taken once the delay's blocks are queued before it; until then,
// and without a sound device, the peer's voice comes through the recorder's own
// jitter buffer (fed only then).
void CallRecorder::Tick()
{
    if (!Active())
        return;
    Block remote{};
    if (heard_.SizeBytes() > static_cast<std::size_t>(heardDelayBlocks_) * BlockFifo::BlockBytes)
        heard_.Read(remote);
    else
        remote_.Pull(remote);
    Block own{};
    own_.Read(own);
    std::int16_t* at = buffer_.data() + buffered_ * static_cast<std::size_t>(channels_);
    for (std::size_t sample = 0; sample < BlockSamples; ++sample) {
        if (channels_ == Stereo) {
            *at++ = own[sample];
            *at++ = remote[sample];
        } else {
            *at++ = Saturated(remote[sample] + own[sample]);
        }
    }
    buffered_ += BlockSamples;
    if (buffered_ == BufferSamples)
        WriteBuffered(buffered_);
}

void CallRecorder::WriteBuffered(std::size_t frames)
{
    const std::span<const std::int16_t> pcm(buffer_.data(), frames * static_cast<std::size_t>(channels_));
    if (compress_) {
        const std::size_t blocks = gsm_.Encode(pcm, encoded_);
        file_->Append(encoded_.data(), blocks * GsmWav49::BlockBytes);
    } else {
        WritePcmBytes(pcm, encoded_.data());
        file_->Append(encoded_.data(), pcm.size() * 2);
    }
    buffered_ = 0;
}

// What is buffered goes to the file in whole 80 ms units (a GSM block's worth);
// the rest is dropped.
void CallRecorder::Flush()
{
    if (file_ != nullptr)
        WriteBuffered(buffered_ - buffered_ % GsmBlockSamples);
    buffered_ = 0;
}

// The buffered audio is written in the old form first, so that all of the file
// is converted once.
void CallRecorder::ConvertRecording(bool toCompressed)
{
    Flush();
    compress_ = toCompressed;
    std::vector<std::uint8_t> recorded;
    if (file_ == nullptr || !file_->ReadAll(recorded)) {
        if (file_ != nullptr)
            file_->Truncate();
        return;
    }
    if (recorded.empty())
        return;
    gsm_.Reset();
    std::vector<std::uint8_t> converted;
    if (toCompressed) {
        const std::vector<std::int16_t> pcm = PcmSamples(recorded);
        converted.resize(pcm.size() / GsmBlockSamples * GsmWav49::BlockBytes);
        gsm_.Encode(pcm, converted);
    } else {
        std::vector<std::int16_t> pcm(recorded.size() / GsmWav49::BlockBytes * GsmBlockSamples);
        gsm_.Decode(recorded, pcm);
        converted = PcmBytes(pcm);
    }
    file_->Truncate();
    file_->Append(converted.data(), converted.size());
}

// Stereo becomes the mix of its two channels, as a mono recording would have been;
// mono goes on both channels, the only place a mix of both voices can be.
void CallRecorder::ConvertChannels(int channels)
{
    Flush();
    std::vector<std::uint8_t> recorded;
    if (file_ != nullptr && file_->ReadAll(recorded) && !recorded.empty()) {
        const std::vector<std::int16_t> before = PcmSamples(recorded);
        std::vector<std::int16_t> after;
        if (channels == Stereo) {
            after.reserve(before.size() * 2);
            for (const std::int16_t sample : before)
                after.insert(after.end(), {sample, sample});
        } else {
            after.reserve(before.size() / 2);
            for (std::size_t at = 0; at + 1 < before.size(); at += 2)
                after.push_back(Saturated(before[at] + before[at + 1]));
        }
        const std::vector<std::uint8_t> converted = PcmBytes(after);
        file_->Truncate();
        file_->Append(converted.data(), converted.size());
    }
    channels_ = channels;
}

WaveFormat CallRecorder::FileFormat() const
{
    if (compress_)
        return WaveFormat::Gsm();
    return channels_ == Stereo ? WaveFormat::StereoPcm() : WaveFormat::Pcm();
}

int CallRecorder::Save(const std::string& path)
{
    const std::optional<SaveJob> job = PrepareSave();
    return job ? WriteSaved(*job, path) : MediaCannotOpenFile;
}

std::optional<CallRecorder::SaveJob> CallRecorder::PrepareSave()
{
    if (file_ == nullptr)
        return std::nullopt;
    Flush();
    const std::int64_t bytes = file_->Size();
    if (bytes < 0)
        return std::nullopt;
    return SaveJob{file_, bytes, FileFormat()};
}

// The recording goes on meanwhile: what it appends lies beyond the bytes copied.
int CallRecorder::WriteSaved(const SaveJob& job, const std::string& path)
{
    WaveFile wave;
    const int created = wave.Create(path, job.format);
    if (created == MediaCannotOpenFile)
        return MediaCannotOpenFile;
    bool written = created == MediaOk;
    std::vector<std::uint8_t> chunk(SaveChunkBytes);
    for (std::int64_t at = 0; written && at < job.bytes;) {
        const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(SaveChunkBytes, job.bytes - at));
        const std::int64_t got = job.file->ReadAt(at, chunk.data(), wanted);
        written = got == static_cast<std::int64_t>(wanted) && wave.WriteData(std::span(chunk.data(), wanted));
        at += got;
    }
    if (!written || wave.Finish() != MediaOk) {
        // Half a file is no recording.
        std::remove(path.c_str());
        return MediaCannotOpenFile;
    }
    return MediaOk;
}
