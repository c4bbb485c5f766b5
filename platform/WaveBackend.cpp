#include "platform/WaveBackend.h"

#include "platform/PortAudioBackend.h"
#include "platform/VirtualWaveBackend.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string_view>

std::unique_ptr<WaveStream> WaveBackend::Open(WaveDirection direction, int id, WaveCallback callback)
{
    auto transport = OpenTransport(direction, id);
    if (transport == nullptr)
        return nullptr;
    auto stream = std::make_unique<WaveStream>(direction, std::move(transport), std::move(callback), Pacer());
    stream->SetBlocksAhead(BlocksAheadChosen(std::getenv("ORVSIP_PLAYBACK_BLOCKS")));
    return stream;
}

int WaveBackend::BlocksAheadChosen(const char* text)
{
    if (text == nullptr)
        return 0;
    const char* end = text + std::strlen(text);
    int blocks = 0;
    const auto parsed = std::from_chars(text, end, blocks);
    const bool whole = parsed.ec == std::errc() && parsed.ptr == end;
    return whole && blocks >= 1 && blocks <= MaxBlocksAhead ? blocks : 0;
}

WaveBackend& WaveBackend::Current()
{
    static const std::unique_ptr<WaveBackend> current = Select(std::getenv("ORVSIP_AUDIO"));
    return *current;
}

std::unique_ptr<WaveBackend> WaveBackend::Select(const char* choice)
{
    const std::string_view wanted = choice != nullptr ? choice : "";
    if (wanted == "virtual")
        return std::make_unique<VirtualWaveBackend>();
    auto portAudio = std::make_unique<PortAudioBackend>();
    if (wanted == "portaudio" || portAudio->HasDevices())
        return portAudio;
    return std::make_unique<VirtualWaveBackend>();
}
