#include "platform/VirtualWaveBackend.h"

#include "platform/VirtualMicrophone.h"
#include "platform/VirtualSpeaker.h"
#include "platform/WavSource.h"

#include <cstdlib>

namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::unique_ptr<WaveTransport> OpenMicrophone()
{
    const std::string path = Environment("ORVSIP_VIRTUAL_MIC");
    if (path.empty())
        return std::make_unique<VirtualMicrophone>(std::vector<std::int16_t>());
    auto loop = WavSource::Load(path);
    if (!loop)
        return nullptr;
    return std::make_unique<VirtualMicrophone>(std::move(*loop));
}

std::unique_ptr<WaveTransport> OpenSpeaker()
{
    const std::string path = Environment("ORVSIP_VIRTUAL_SPEAKER");
    if (path.empty())
        return std::make_unique<VirtualSpeaker>(nullptr);
    auto sink = WavSink::Create(path);
    if (sink == nullptr)
        return nullptr;
    return std::make_unique<VirtualSpeaker>(std::move(sink));
}

bool IsVirtualDevice(int id)
{
    return id == 0 || id == WaveBackend::DefaultDevice;
}

} // namespace

std::string VirtualWaveBackend::DeviceName(WaveDirection direction, int id)
{
    if (!IsVirtualDevice(id))
        return "";
    return direction == WaveDirection::Capture ? "Virtual Microphone" : "Virtual Speaker";
}

std::unique_ptr<WaveTransport> VirtualWaveBackend::OpenTransport(WaveDirection direction, int id)
{
    if (!IsVirtualDevice(id))
        return nullptr;
    return direction == WaveDirection::Capture ? OpenMicrophone() : OpenSpeaker();
}
