#include "platform/WavSink.h"

#include <sndfile.h>

std::unique_ptr<WavSink> WavSink::Create(const std::string& path)
{
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr)
        return nullptr;
    sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    return std::unique_ptr<WavSink>(new WavSink(file));
}

WavSink::~WavSink()
{
    sf_close(file_);
}

void WavSink::Write(std::span<const std::int16_t> samples)
{
    sf_write_short(file_, samples.data(), static_cast<sf_count_t>(samples.size()));
}
