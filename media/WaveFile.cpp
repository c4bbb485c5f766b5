#include "media/WaveFile.h"

#include "media/MediaError.h"
#include "platform/SoundFileStream.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::uint32_t SamplesPerSecond = 8000;
constexpr std::uint32_t CbSizeBytes = 2;
// What the "fact" chunk holds while the file is written.
constexpr std::uint32_t FactWhileWriting = 0xFFFFFFFF;

std::uint16_t Half(const std::uint8_t* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t Word(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(Half(bytes)) | static_cast<std::uint32_t>(Half(bytes + 2)) << 16;
}

void PutHalf(std::vector<std::uint8_t>& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutWord(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    PutHalf(out, static_cast<std::uint16_t>(value));
    PutHalf(out, static_cast<std::uint16_t>(value >> 16));
}

} // namespace

WaveFile::WaveFile() = default;

WaveFile::~WaveFile() = default;

void WaveFile::Close()
{
    riff_.reset();
    converter_.reset();
    format_ = WaveFormat{};
    dataSize_ = 0;
    dataOffset_ = 0;
    position_ = 0;
}

int WaveFile::OpenForReading(const std::string& path)
{
    Close();
    gsm_.Reset();
    riff_ = RiffFile::OpenForReading(path);
    if (riff_ == nullptr)
        return MediaCannotOpenFile;
    int result = ReadHeader();
    if (result == MediaOk && !format_.IsPcm() && !format_.IsGsm())
        result = OpenConverter(path);
    if (result != MediaOk)
        Close();
    return result;
}

int WaveFile::ReadHeader()
{
    RiffFile::Chunk riff;
    if (!riff_->Descend(riff, nullptr, RiffFile::Id("RIFF"), RiffFile::Id("WAVE")))
        return MediaNotWaveFile;
    const int format = ReadFormat(riff);
    if (format != MediaOk)
        return format;
    RiffFile::Chunk data;
    if (!riff_->Seek(riff.start) || !riff_->Descend(data, &riff, RiffFile::Id("data")))
        return MediaNotWaveFile;
    dataSize_ = data.size;
    dataOffset_ = data.start;
    position_ = 0;
    return MediaOk;
}

int WaveFile::ReadFormat(const RiffFile::Chunk& riff)
{
    RiffFile::Chunk chunk;
    std::array<std::uint8_t, WaveFormat::BaseBytes + CbSizeBytes> base{};
    if (!riff_->Descend(chunk, &riff, RiffFile::Id("fmt ")) || chunk.size < WaveFormat::BaseBytes ||
        !riff_->Read(base.data(), WaveFormat::BaseBytes))
        return MediaNotWaveFile;
    format_ = WaveFormat{Half(&base[0]), Half(&base[2]), Word(&base[4]), Word(&base[8]), Half(&base[12]),
                         Half(&base[14]), {}};
    if (format_.tag != WaveFormat::PcmTag) {
        if (chunk.size < WaveFormat::BaseBytes + CbSizeBytes || !riff_->Read(&base[16], CbSizeBytes))
            return MediaNotWaveFile;
        const std::uint32_t extraBytes = Half(&base[16]);
        if (WaveFormat::BaseBytes + CbSizeBytes + extraBytes > chunk.size)
            return MediaNotWaveFile;
        format_.extra.resize(extraBytes);
        if (!riff_->Read(format_.extra.data(), extraBytes))
            return MediaNotWaveFile;
    }
    return MediaOk;
}

int WaveFile::OpenConverter(const std::string& path)
{
    if (format_.channels == 0 || format_.samplesPerSecond == 0 || format_.averageBytesPerSecond == 0)
        return MediaNoConversion;
    converter_ = SoundFileStream::Open(path);
    return converter_ != nullptr ? MediaOk : MediaNoConversion;
}

int WaveFile::TotalSeconds() const
{
    if (!IsOpen() || format_.averageBytesPerSecond == 0)
        return 0;
    return static_cast<int>((static_cast<std::uint64_t>(dataSize_) + format_.averageBytesPerSecond - 1) /
                            format_.averageBytesPerSecond);
}

void WaveFile::SeekSeconds(int seconds)
{
    if (!IsOpen())
        return;
    const auto wanted = static_cast<std::int64_t>(std::max(seconds, 0));
    if (converter_ != nullptr) {
        position_ = std::min(wanted * format_.samplesPerSecond, converter_->FileFrames());
        converter_->SeekFrame(position_);
        return;
    }
    const std::int64_t bytes = std::min<std::int64_t>(wanted * format_.averageBytesPerSecond, dataSize_);
    position_ = bytes - bytes % format_.blockAlign;
    if (format_.IsGsm())
        gsm_.Reset();
}

std::vector<std::int16_t> WaveFile::ReadChunk()
{
    if (!IsOpen())
        return {};
    if (converter_ != nullptr)
        return ReadConverted();
    const std::int64_t remaining = static_cast<std::int64_t>(dataSize_) - position_;
    const std::int64_t wanted = std::min<std::int64_t>(remaining, ChunkSeconds * format_.averageBytesPerSecond);
    return ReadNative(static_cast<std::uint32_t>(std::max<std::int64_t>(wanted, 0)));
}

std::vector<std::int16_t> WaveFile::ReadNative(std::uint32_t bytes)
{
    // A trailing part of a GSM block or of a sample cannot be played.
    const std::uint32_t whole = bytes - bytes % format_.blockAlign;
    std::vector<std::uint8_t> raw(whole);
    if (whole == 0 || !riff_->Seek(dataOffset_ + position_) || !riff_->Read(raw.data(), raw.size())) {
        position_ = dataSize_;
        return {};
    }
    position_ += bytes;
    if (format_.IsGsm()) {
        std::vector<std::int16_t> pcm(whole / GsmWav49::BlockBytes * GsmWav49::BlockSamples);
        gsm_.Decode(raw, pcm);
        return pcm;
    }
    std::vector<std::int16_t> pcm(whole / 2);
    for (std::size_t at = 0; at < pcm.size(); ++at)
        pcm[at] = static_cast<std::int16_t>(Half(&raw[2 * at]));
    return pcm;
}

std::vector<std::int16_t> WaveFile::ReadConverted()
{
    const std::int64_t remaining = converter_->FileFrames() - position_;
    const std::int64_t frames = std::min<std::int64_t>(remaining, ChunkSeconds * format_.samplesPerSecond);
    if (frames <= 0)
        return {};
    position_ += frames;
    return converter_->Read(frames);
}

int WaveFile::Create(const std::string& path, const WaveFormat& format)
{
    Close();
    format_ = format;
    riff_ = RiffFile::Create(path);
    if (riff_ == nullptr)
        return MediaCannotOpenFile;
    RiffFile::Chunk fact;
    const bool written = riff_->CreateChunk(riffChunk_, RiffFile::Id("RIFF"), RiffFile::Id("WAVE")) &&
                         WriteFormat() && riff_->CreateChunk(fact, RiffFile::Id("fact")) &&
                         riff_->WriteWord(FactWhileWriting) && riff_->Ascend(fact) &&
                         riff_->CreateChunk(dataChunk_, RiffFile::Id("data"));
    factOffset_ = fact.start;
    return written ? MediaOk : MediaCannotWriteWave;
}

bool WaveFile::WriteFormat()
{
    std::vector<std::uint8_t> record;
    PutHalf(record, format_.tag);
    PutHalf(record, format_.channels);
    PutWord(record, format_.samplesPerSecond);
    PutWord(record, format_.averageBytesPerSecond);
    PutHalf(record, format_.blockAlign);
    PutHalf(record, format_.bitsPerSample);
    if (format_.tag != WaveFormat::PcmTag) {
        PutHalf(record, static_cast<std::uint16_t>(format_.extra.size()));
        record.insert(record.end(), format_.extra.begin(), format_.extra.end());
    }
    RiffFile::Chunk chunk;
    return riff_->CreateChunk(chunk, RiffFile::Id("fmt ")) && riff_->Write(record.data(), record.size()) &&
           riff_->Ascend(chunk);
}

bool WaveFile::WriteData(std::span<const std::uint8_t> bytes)
{
    return riff_ != nullptr && riff_->Write(bytes.data(), bytes.size());
}

int WaveFile::Finish()
{
    if (riff_ == nullptr)
        return MediaCannotWriteWave;
    const bool done = riff_->Ascend(dataChunk_) && riff_->Ascend(riffChunk_) && riff_->Seek(factOffset_) &&
                      riff_->WriteWord(0) && riff_->Close();
    riff_.reset();
    return done ? MediaOk : MediaCannotWriteWave;
}
