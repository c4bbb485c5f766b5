#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

struct sf_private_tag;

// Writes 8000 Hz 16-bit mono PCM to a WAV file whose header stays valid while it
// grows, so the file can be read before it is closed.
class WavSink {
public:
    static std::unique_ptr<WavSink> Create(const std::string& path);
    ~WavSink();
    WavSink(const WavSink&) = delete;
    WavSink& operator=(const WavSink&) = delete;

    void Write(std::span<const std::int16_t> samples);

private:
    explicit WavSink(sf_private_tag* file) : file_(file) {}

    sf_private_tag* file_;
};
