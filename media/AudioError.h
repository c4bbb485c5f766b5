#pragma once

// Error codes of the audio device layer, in the media engine's numbering.
enum AudioError {
    AudioOk = 0,
    AudioCaptureOpenFailed = 53,
    AudioPlaybackOpenFailed = 54,
    AudioNoCapture = 55, // also: no sound device at all
    AudioNoPlayback = 56,
    AudioCaptureMixerFailed = 57,
    AudioPlaybackMixerFailed = 58,
    AudioBadLine = 61,
    // Not a media error: the capture stream has no boost switch. The operation
    // fails without changing the last error.
    AudioNoBoostControl = -1,
};
