#pragma once

// Error codes of the media engine.
enum MediaError {
    MediaOk = 0,
    MediaNotRunning = 50,
    MediaSocketFailed = 51,
    MediaCaptureOpenFailed = 53,
    MediaPlaybackOpenFailed = 54,
    MediaNoCapture = 55, // also: no sound device at all
    MediaNoPlayback = 56,
    MediaCaptureMixerFailed = 57,
    MediaPlaybackMixerFailed = 58,
    MediaTempFileFailed = 59,
    MediaBadRecordVoice = 60,
    MediaBadLine = 61,
    MediaLineNotOpen = 62,
    MediaCannotOpenFile = 63, // also: a recording could not be saved
    MediaNotWaveFile = 64,
    MediaCannotWriteWave = 65,
    MediaNoConversion = 66,
    MediaWindowFailed = 67,
    // Not an error code: the capture stream has no boost switch. The operation fails
    // without changing the last error.
    MediaNoBoostControl = -1,
};
