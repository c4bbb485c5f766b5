#pragma once

// Error codes of the media engine.
enum MediaError {
    MediaOk = 0,
    MediaNotRunning = 50,
    MediaSocketFailed = 51,
    MediaNoSoundDevice = 55,
    MediaTempFileFailed = 59,
    MediaBadLine = 61,
    MediaLineNotOpen = 62,
    MediaWindowFailed = 67,
};
