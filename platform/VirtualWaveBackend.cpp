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

std::unique_ptr<WaveTransport> OpenMicrophone(std::shared_ptr<AcousticEcho> echo)
{
    const std::string path = Environment("ORVSIP_VIRTUAL_MIC");
    if (path.empty())
        return std::make_unique<VirtualMicrophone>(std::vector<std::int16_t>(), std::move(echo));
    auto loop = WavSource::Load(path);
    if (!loop)
        return nullptr;
    return std::make_unique<VirtualMicrophone>(std::move(*loop), std::move(echo));
}

std::unique_ptr<WaveTransport> OpenSpeaker(std::shared_ptr<AcousticEcho> echo)
{
    const std::string path = Environment("ORVSIP_VIRTUAL_SPEAKER");
    if (path.empty())
        return std::make_unique<VirtualSpeaker>(nullptr, std::move(echo));
    auto sink = WavSink::Create(path);
    if (sink == nullptr)
        return nullptr;
    return std::make_unique<VirtualSpeaker>(std::move(sink), std::move(echo));
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

bool VirtualWaveBackend::CurrentEcho(std::shared_ptr<AcousticEcho>& echo)
{
    const std::string wanted = Environment("ORVSIP_VIRTUAL_ECHO");
    std::lock_guard lock(echoMutex_);
    if (wanted.empty()) {
        echo_.reset();
    } else if (auto parsed = AcousticEcho::Parse(wanted); parsed == nullptr) {
        return false;
    } else if (echo_ == nullptr || echo_->DelayMs() != parsed->DelayMs() ||
               echo_->AttenuationDb() != parsed->AttenuationDb()) {
        echo_ = std::move(parsed);
    }
    echo = echo_;
    return true;
}

std::unique_ptr<WaveTransport> VirtualWaveBackend::OpenTransport(WaveDirection direction, int id)
{
    std::shared_ptr<AcousticEcho> echo;
    if (!IsVirtualDevice(id) || !CurrentEcho(echo))
        return nullptr;
    return direction == WaveDirection::Capture ? OpenMicrophone(std::move(echo)) : OpenSpeaker(std::move(echo));
}
