#include "platform/WavSource.h"

#include "platform/SoundFileStream.h"

std::optional<std::vector<std::int16_t>> WavSource::Load(const std::string& path)
{
    auto stream = SoundFileStream::Open(path);
    if (stream == nullptr)
        return std::nullopt;
    return stream->Read(stream->FileFrames());
}
