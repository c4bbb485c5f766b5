#include "AudioTestSupport.h"
#include "media/AudioDevice.h"
#include "media/MediaError.h"
#include "media/DeviceAttachments.h"

#include <gtest/gtest.h>

namespace {

struct Rig {
    RecordingOwner owner;
    CountingBackend backend;
    AudioDevice device{owner, backend};
    DeviceAttachments lines{3};
};

} // namespace

TEST(DeviceAttachments, LinesOnTheSameDevicesShareOneStreamEachWay)
{
    Rig rig;
    ASSERT_EQ(rig.lines.Attach(0, 0, 0, &rig.device), MediaOk);
    ASSERT_EQ(rig.lines.Attach(1, 0, 0, &rig.device), MediaOk);
    EXPECT_EQ(rig.backend.captures, 1);
    EXPECT_EQ(rig.backend.playbacks, 1);
    EXPECT_EQ(rig.lines.Line(0).captureHandle, rig.lines.Line(1).captureHandle);
    EXPECT_EQ(rig.lines.Line(0).playbackHandle, rig.lines.Line(1).playbackHandle);

    ASSERT_EQ(rig.lines.Detach(0, &rig.device), MediaOk);
    EXPECT_EQ(rig.backend.captures, 1);
    EXPECT_EQ(rig.backend.playbacks, 1);
    EXPECT_EQ(rig.lines.Line(0).inputId, DeviceAttachments::NoDevice);
    EXPECT_EQ(rig.lines.Line(0).captureHandle, 0u);

    ASSERT_EQ(rig.lines.Detach(1, &rig.device), MediaOk);
    EXPECT_EQ(rig.backend.captures, 0);
    EXPECT_EQ(rig.backend.playbacks, 0);
}

TEST(DeviceAttachments, AttachingTwiceKeepsTheStream)
{
    Rig rig;
    ASSERT_EQ(rig.lines.Attach(0, 0, 0, &rig.device), MediaOk);
    const auto handle = rig.lines.Line(0).captureHandle;
    ASSERT_EQ(rig.lines.Attach(0, 0, 0, &rig.device), MediaOk);
    EXPECT_EQ(rig.lines.Line(0).captureHandle, handle);
    EXPECT_EQ(rig.backend.captures, 1);
}

TEST(DeviceAttachments, ALineOnOtherDevicesMovesTheSharedStreamInsteadOfLeakingIt)
{
    Rig rig;
    ASSERT_EQ(rig.lines.Attach(0, 0, 0, &rig.device), MediaOk);
    ASSERT_EQ(rig.lines.Attach(1, -1, -1, &rig.device), MediaOk);
    EXPECT_EQ(rig.backend.captures, 1);
    EXPECT_EQ(rig.backend.playbacks, 1);
    EXPECT_EQ(rig.lines.Line(0).inputId, -1);
    EXPECT_EQ(rig.lines.Line(0).captureHandle, rig.device.CaptureHandle());
    EXPECT_EQ(rig.lines.Line(1).captureHandle, rig.device.CaptureHandle());

    ASSERT_EQ(rig.lines.Detach(1, &rig.device), MediaOk);
    EXPECT_EQ(rig.backend.captures, 1) << "line 0 still uses it";
    ASSERT_EQ(rig.lines.Detach(0, &rig.device), MediaOk);
    EXPECT_EQ(rig.backend.captures, 0);
    EXPECT_EQ(rig.backend.playbacks, 0);
}

TEST(DeviceAttachments, DeviceThatCannotOpenFailsAndLeavesTheLineDetached)
{
    Rig rig;
    ASSERT_EQ(rig.lines.Attach(0, 0, 0, &rig.device), MediaOk);
    EXPECT_EQ(rig.lines.Attach(1, 5, 0, &rig.device), MediaCaptureOpenFailed);
    EXPECT_EQ(rig.lines.Line(1).inputId, DeviceAttachments::NoDevice);
    EXPECT_EQ(rig.lines.Line(0).captureHandle, rig.device.CaptureHandle());
    EXPECT_EQ(rig.backend.captures, 1);

    EXPECT_EQ(rig.lines.Attach(2, 0, 5, &rig.device), MediaPlaybackOpenFailed);
    EXPECT_EQ(rig.lines.Line(2).captureHandle, 0u);
    EXPECT_EQ(rig.backend.captures, 1) << "line 0 keeps its stream";
    EXPECT_EQ(rig.backend.playbacks, 1);
}

TEST(DeviceAttachments, BadLinesAndNoSoundDevice)
{
    DeviceAttachments lines(2);
    EXPECT_EQ(lines.Attach(2, 0, 0, nullptr), MediaBadLine);
    EXPECT_EQ(lines.Attach(-1, 0, 0, nullptr), MediaBadLine);
    EXPECT_EQ(lines.Detach(5, nullptr), MediaBadLine);
    EXPECT_EQ(lines.Attach(1, 3, 4, nullptr), MediaOk);
    EXPECT_EQ(lines.Line(1).inputId, 3);
    EXPECT_EQ(lines.Line(1).outputId, 4);
    EXPECT_EQ(lines.Line(1).captureHandle, 0u);
    EXPECT_EQ(lines.Detach(1, nullptr), MediaOk);
    EXPECT_EQ(lines.Line(1).outputId, DeviceAttachments::NoDevice);
}

TEST(DeviceAttachments, ASwitchFailingHalfWayLeavesTheOtherLinesAWorkingStream)
{
    RecordingOwner owner;
    UnstartableBackend backend;
    AudioDevice device(owner, backend);
    DeviceAttachments lines(3);
    ASSERT_EQ(lines.Attach(0, 0, 0, &device), MediaOk);
    ASSERT_EQ(lines.Attach(1, 0, 0, &device), MediaOk);

    // The busy device opens, so the running streams are given up, then fails to start.
    EXPECT_EQ(lines.Attach(2, UnstartableBackend::BusyDevice, 0, &device), MediaCaptureOpenFailed);
    EXPECT_TRUE(device.CaptureRunning());
    EXPECT_EQ(lines.Line(0).captureHandle, device.CaptureHandle());
    EXPECT_EQ(lines.Line(1).captureHandle, device.CaptureHandle());
    EXPECT_EQ(lines.Line(2).captureHandle, 0u);
    EXPECT_EQ(lines.Line(0).inputId, 0);

    EXPECT_EQ(lines.Attach(2, 0, UnstartableBackend::BusyDevice, &device), MediaPlaybackOpenFailed);
    EXPECT_TRUE(device.PlaybackRunning());
    EXPECT_EQ(lines.Line(0).playbackHandle, device.PlaybackHandle());
    EXPECT_EQ(lines.Line(1).playbackHandle, device.PlaybackHandle());
    EXPECT_EQ(backend.captures, 1);
    EXPECT_EQ(backend.playbacks, 1);

    // The lines keep their streams through a call that attaches again, and the
    // streams close with the last of them.
    ASSERT_EQ(lines.Attach(0, 0, 0, &device), MediaOk);
    EXPECT_TRUE(device.CaptureRunning());
    ASSERT_EQ(lines.Detach(0, &device), MediaOk);
    ASSERT_EQ(lines.Detach(1, &device), MediaOk);
    EXPECT_EQ(backend.captures, 0);
    EXPECT_EQ(backend.playbacks, 0);
}

TEST(DeviceAttachments, LinesWhoseStreamCannotBeRecoveredHoldNoneAndOpenItOnTheirNextAttach)
{
    RecordingOwner owner;
    UnstartableBackend backend;
    AudioDevice device(owner, backend);
    DeviceAttachments lines(2);
    ASSERT_EQ(lines.Attach(0, 0, 0, &device), MediaOk);
    backend.alsoBusy = 0;
    EXPECT_EQ(lines.Attach(1, UnstartableBackend::BusyDevice, 0, &device), MediaCaptureOpenFailed);
    EXPECT_FALSE(device.CaptureRunning());
    EXPECT_EQ(lines.Line(0).captureHandle, 0u) << "the stream it held is gone";
    EXPECT_EQ(lines.Line(0).inputId, 0);

    backend.alsoBusy = UnstartableBackend::BusyDevice;
    ASSERT_EQ(lines.Attach(0, 0, 0, &device), MediaOk);
    EXPECT_TRUE(device.CaptureRunning());
    EXPECT_EQ(lines.Line(0).captureHandle, device.CaptureHandle());
}
