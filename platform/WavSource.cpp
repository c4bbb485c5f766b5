#include "platform/WavSource.h"

#include "platform/SoundFileStream.h"

#include <algorithm>

std::optional<std::vector<std::int16_t>> WavSource::Load(const std::string& path)
{
    auto stream = SoundFileStream::Open(path);
    if (stream == nullptr)
        return std::nullopt;
    return stream->Read(std::min(stream->FileFrames(), MaxSeconds * stream->FileRate()));
}
