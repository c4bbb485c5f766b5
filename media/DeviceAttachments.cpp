#include "media/DeviceAttachments.h"

#include "media/AudioDevice.h"
#include "media/MediaError.h"

#include <algorithm>

int DeviceAttachments::Attach(int line, int inputId, int outputId, AudioDevice* device)
{
    if (!IsLine(line))
        return MediaBadLine;
    const auto index = static_cast<std::size_t>(line);
    if (device != nullptr) {
        if (AttachWay(Way::Capture, index, inputId, *device) != MediaOk) {
            Detach(line, device);
            return MediaCaptureOpenFailed;
        }
        if (AttachWay(Way::Playback, index, outputId, *device) != MediaOk) {
            Detach(line, device);
            return MediaPlaybackOpenFailed;
        }
    }
    lines_[index].inputId = inputId;
    lines_[index].outputId = outputId;
    return MediaOk;
}

int DeviceAttachments::AttachWay(Way way, std::size_t line, int id, AudioDevice& device)
{
    LineDevices& devices = lines_[line];
    if (IdOf(way, devices) == id && HandleOf(way, devices) != 0)
        return MediaOk;
    const std::uint32_t shared = HandleHeldFor(way, id, line);
    if (shared != 0) {
        HandleOf(way, devices) = shared;
        IdOf(way, devices) = id;
        return MediaOk;
    }
    const int result = Open(way, id, device);
    if (result != MediaOk) {
        RecoverOthers(way, device);
        return result;
    }
    const std::uint32_t opened = CurrentHandle(way, device);
    // The one stream now runs on `id`: every line that held it follows.
    for (LineDevices& other : lines_) {
        if (HandleOf(way, other) != 0) {
            HandleOf(way, other) = opened;
            IdOf(way, other) = id;
        }
    }
    HandleOf(way, devices) = opened;
    IdOf(way, devices) = id;
    return MediaOk;
}

int DeviceAttachments::Open(Way way, int id, AudioDevice& device)
{
    return way == Way::Capture ? device.OpenCapture(id) : device.OpenPlayback(id);
}

std::uint32_t DeviceAttachments::CurrentHandle(Way way, const AudioDevice& device)
{
    return way == Way::Capture ? device.CaptureHandle() : device.PlaybackHandle();
}

// An open that failed after the device had given up its running stream leaves the
// lines that shared it without one: they get it back on their own device, or
// hold none, so that their next attach opens it afresh.
void DeviceAttachments::RecoverOthers(Way way, AudioDevice& device)
{
    const std::uint32_t current = CurrentHandle(way, device);
    auto stale = [&](const LineDevices& line) { return HandleOf(way, line) != 0 && HandleOf(way, line) != current; };
    const auto first = std::find_if(lines_.begin(), lines_.end(), stale);
    if (first == lines_.end())
        return;
    const std::uint32_t reopened = Open(way, IdOf(way, *first), device) == MediaOk ? CurrentHandle(way, device) : 0;
    for (LineDevices& line : lines_) {
        if (stale(line))
            HandleOf(way, line) = reopened;
    }
}

int DeviceAttachments::Detach(int line, AudioDevice* device)
{
    if (!IsLine(line))
        return MediaBadLine;
    const auto index = static_cast<std::size_t>(line);
    LineDevices& devices = lines_[index];
    if (device != nullptr && devices.captureHandle != 0 &&
        HandleHeldFor(Way::Capture, devices.inputId, index) == 0)
        device->CloseCapture();
    if (device != nullptr && devices.playbackHandle != 0 &&
        HandleHeldFor(Way::Playback, devices.outputId, index) == 0)
        device->ClosePlayback();
    devices = LineDevices{};
    return MediaOk;
}

DeviceAttachments::LineDevices DeviceAttachments::Line(int line) const
{
    return IsLine(line) ? lines_[static_cast<std::size_t>(line)] : LineDevices{};
}

std::uint32_t DeviceAttachments::HandleHeldFor(Way way, int id, std::size_t except) const
{
    for (std::size_t other = 0; other < lines_.size(); ++other) {
        if (other != except && IdOf(way, lines_[other]) == id && HandleOf(way, lines_[other]) != 0)
            return HandleOf(way, lines_[other]);
    }
    return 0;
}
