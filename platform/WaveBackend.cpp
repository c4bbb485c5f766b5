#include "platform/WaveBackend.h"

#include "platform/PortAudioBackend.h"
#include "platform/VirtualWaveBackend.h"

#include <cstdlib>
#include <string_view>

std::unique_ptr<WaveStream> WaveBackend::Open(WaveDirection direction, int id, WaveCallback callback)
{
    auto transport = OpenTransport(direction, id);
    if (transport == nullptr)
        return nullptr;
    return std::make_unique<WaveStream>(direction, std::move(transport), std::move(callback), Pacer());
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
