#pragma once

#include <string>

// What the media engine reports to its owner; called from media threads, so an
// owner only queues the news for its own thread.
class MediaEngineOwner {
public:
    virtual ~MediaEngineOwner() = default;
    virtual void OnMediaDtmfDigit(int line, const std::string& digit) = 0;
    virtual void OnMediaWaveDone(int line) = 0;
};
