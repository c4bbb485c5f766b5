#include "media/CallRecorder.h"

#include "media/MediaError.h"
#include "media/WaveFile.h"
#include "platform/TempFile.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::size_t GsmBlockSamples = GsmWav49::BlockSamples;

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
    : buffer_(BufferSamples), encoded_(std::max(BufferSamples / GsmBlockSamples * GsmWav49::BlockBytes, BufferSamples * 2))
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
    if (voice < OwnVoice || voice > BothVoices)
        return MediaBadRecordVoice;
    voice_ = voice;
    recording_ = true;
    if (compress != compress_)
        ConvertRecording(compress);
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

void CallRecorder::Tick()
{
    if (!Active())
        return;
    Block mixed{};
    remote_.Pull(mixed);
    Block own;
    if (own_.Read(own) == own.size()) {
        for (std::size_t at = 0; at < mixed.size(); ++at)
            mixed[at] = Saturated(mixed[at] + own[at]);
    }
    std::copy(mixed.begin(), mixed.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(buffered_));
    buffered_ += mixed.size();
    if (buffered_ == buffer_.size())
        WriteBuffered(buffered_);
}

// Writes the first `samples` of the buffer (whole GSM blocks) and empties it.
void CallRecorder::WriteBuffered(std::size_t samples)
{
    const std::span<const std::int16_t> pcm(buffer_.data(), samples);
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

int CallRecorder::Save(const std::string& path)
{
    std::vector<std::uint8_t> recorded;
    if (file_ == nullptr)
        return MediaCannotOpenFile;
    Flush();
    if (!file_->ReadAll(recorded))
        return MediaCannotOpenFile;
    WaveFile wave;
    const int created = wave.Create(path, compress_ ? WaveFormat::Gsm() : WaveFormat::Pcm());
    if (created == MediaCannotOpenFile)
        return MediaCannotOpenFile;
    if (created != MediaOk || !wave.WriteData(recorded) || wave.Finish() != MediaOk) {
        // Half a file is no recording.
        std::remove(path.c_str());
        return MediaCannotOpenFile;
    }
    return MediaOk;
}
