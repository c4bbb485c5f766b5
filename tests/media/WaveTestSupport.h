#pragma once

#include "ToneMeasure.h"
#include "tests/platform/TempDirectory.h"

#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

// A sine of `seconds` at `rate`, the same in every channel (interleaved).
inline std::vector<std::int16_t> Sine(double frequency, double seconds, int rate = 8000, int channels = 1,
                                      double amplitude = 8000.0)
{
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<std::int16_t> samples(frames * static_cast<std::size_t>(channels));
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const auto value = static_cast<std::int16_t>(
            amplitude * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(frame) / rate));
        for (int channel = 0; channel < channels; ++channel)
            samples[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)] = value;
    }
    return samples;
}

// Writes interleaved samples through libsndfile in the given WAV subformat.
inline bool WriteSoundFile(const std::string& path, const std::vector<std::int16_t>& samples, int rate = 8000,
                           int channels = 1, int subformat = SF_FORMAT_PCM_16)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | subformat;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr)
        return false;
    sf_writef_short(file, samples.data(), static_cast<sf_count_t>(samples.size() / static_cast<std::size_t>(channels)));
    return sf_close(file) == 0;
}

// What libsndfile reads from a file: its samples (first channel) and format.
inline std::vector<std::int16_t> ReadSoundFile(const std::string& path, SF_INFO& info)
{
    info = SF_INFO{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr)
        return {};
    std::vector<std::int16_t> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_read_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
    return samples;
}

inline std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string LittleEndian(std::uint32_t value, int bytes = 4)
{
    std::string text;
    for (int at = 0; at < bytes; ++at)
        text += static_cast<char>(value >> (8 * at));
    return text;
}

// Scoped TMPDIR, so a test sees the recorder's temporary files.
class TemporaryFolder {
public:
    TemporaryFolder()
    {
        const char* old = std::getenv("TMPDIR");
        old_ = old != nullptr ? old : "";
        setenv("TMPDIR", directory_.File("").c_str(), 1);
    }
    ~TemporaryFolder()
    {
        if (old_.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", old_.c_str(), 1);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    // The files whose names start with `prefix`.
    std::vector<std::string> Files(const std::string& prefix) const
    {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(directory_.File("")))
            if (entry.path().filename().string().rfind(prefix, 0) == 0)
                found.push_back(entry.path().string());
        return found;
    }

    TempDirectory directory_;

private:
    std::string old_;
};
