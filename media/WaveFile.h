#pragma once

#include "media/GsmWav49.h"
#include "media/WaveFormat.h"
#include "platform/RiffFile.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

class SoundFileStream;

// One WAV file, read as 8000 Hz 16-bit mono PCM or written in one of the two native
// formats. 8 kHz 16-bit mono PCM is copied and GSM 06.10 (format 49) decoded here;
// any other format goes through libsndfile and a resampler. Results are media
// error codes: 63 the file cannot be opened, 64 it is not a readable WAVE file
// (no RIFF/WAVE, no "fmt " of at least 16 bytes, no "data", or a chunk that claims
// more than the file holds), 65 a header or the data cannot be written, 66 there is
// no conversion of its format to 8 kHz 16-bit mono.
class WaveFile {
public:
    // A read gives at most this much of the file's own format.
    static constexpr std::uint32_t ChunkSeconds = 3;

    WaveFile();
    ~WaveFile();
    WaveFile(const WaveFile&) = delete;
    WaveFile& operator=(const WaveFile&) = delete;

    int OpenForReading(const std::string& path);
    bool IsOpen() const { return riff_ != nullptr; }
    void Close();
    const WaveFormat& Format() const { return format_; }
    std::uint32_t DataSize() const { return dataSize_; }
    // Whole seconds of the data, rounded up; 0 with no file.
    int TotalSeconds() const;
    // Reads from `seconds` into the data (clamped to its end); 0 rewinds.
    void SeekSeconds(int seconds);
    // The next piece of the data, at most ChunkSeconds of it, as PCM; empty at the end.
    std::vector<std::int16_t> ReadChunk();

    // Writing: a RIFF/WAVE file with "fmt ", "fact" and "data" chunks.
    int Create(const std::string& path, const WaveFormat& format);
    bool WriteData(std::span<const std::uint8_t> bytes);
    // Fixes the chunk sizes; 0 or 65.
    int Finish();

private:
    int ReadHeader();
    int ReadFormat(const RiffFile::Chunk& riff);
    int OpenConverter(const std::string& path);
    bool WriteFormat();
    std::vector<std::int16_t> ReadNative(std::uint32_t bytes);
    std::vector<std::int16_t> ReadConverted();

    std::unique_ptr<RiffFile> riff_;
    std::unique_ptr<SoundFileStream> converter_;
    WaveFormat format_;
    std::uint32_t dataSize_ = 0;
    std::int64_t dataOffset_ = 0;
    // Reading: how far into the data, in bytes of the file (frames when converting).
    std::int64_t position_ = 0;
    GsmWav49 gsm_;
    // Writing.
    RiffFile::Chunk riffChunk_;
    RiffFile::Chunk dataChunk_;
    std::int64_t factOffset_ = 0;
};
