#pragma once

#include <cstdint>
#include <vector>

class AudioDevice;

// Which sound devices each line uses. Lines asking for the same device ids share
// the one capture and the one playback stream of the AudioDevice; a line asking
// for other ids moves the stream, and every line on it, to those devices, so no
// stream is ever left open without a line (when the other device cannot be
// opened, the stream stays where it was, or is opened again on the lines' own
// device when the failed attempt had already closed it: every line holds a
// working stream or none). A stream closes when its last line detaches.
class DeviceAttachments {
public:
    static constexpr int NoDevice = 653200;

    struct LineDevices {
        int inputId = NoDevice;
        int outputId = NoDevice;
        std::uint32_t captureHandle = 0;
        std::uint32_t playbackHandle = 0;
    };

    explicit DeviceAttachments(int lineCount) : lines_(static_cast<std::size_t>(lineCount)) {}

    // `device` is null when the engine runs without a sound device: the ids are
    // kept and no stream opens. Returns 0, 53, 54 or 61.
    int Attach(int line, int inputId, int outputId, AudioDevice* device);
    // Returns 0 or 61.
    int Detach(int line, AudioDevice* device);
    // A copy of the line's devices; NoDevice ids for a bad line.
    LineDevices Line(int line) const;

private:
    enum class Way { Capture, Playback };

    bool IsLine(int line) const { return line >= 0 && line < static_cast<int>(lines_.size()); }
    int AttachWay(Way way, std::size_t line, int id, AudioDevice& device);
    static int Open(Way way, int id, AudioDevice& device);
    static std::uint32_t CurrentHandle(Way way, const AudioDevice& device);
    void RecoverOthers(Way way, AudioDevice& device);
    // The handle a line other than `except` holds for `id`; 0 when none.
    std::uint32_t HandleHeldFor(Way way, int id, std::size_t except) const;

    template <typename Devices>
    static auto& IdOf(Way way, Devices& devices)
    {
        return way == Way::Capture ? devices.inputId : devices.outputId;
    }
    template <typename Devices>
    static auto& HandleOf(Way way, Devices& devices)
    {
        return way == Way::Capture ? devices.captureHandle : devices.playbackHandle;
    }

    std::vector<LineDevices> lines_;
};
