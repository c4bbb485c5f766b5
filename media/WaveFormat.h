#pragma once

#include <cstdint>
#include <vector>

// The format record of a WAV file's "fmt " chunk, with its extra bytes.
struct WaveFormat {
    static constexpr std::uint16_t PcmTag = 1;
    static constexpr std::uint16_t GsmTag = 49;
    // Bytes of the record before cbSize and the extra bytes.
    static constexpr std::uint32_t BaseBytes = 16;

    std::uint16_t tag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSecond = 0;
    std::uint32_t averageBytesPerSecond = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::vector<std::uint8_t> extra; // what follows cbSize (none for PCM)

    // The two formats handled without conversion: 8000 Hz 16-bit mono PCM, and GSM
    // 06.10 in 65-byte blocks of 320 samples.
    static WaveFormat Pcm() { return {PcmTag, 1, 8000, 16000, 2, 16, {}}; }
    static WaveFormat Gsm() { return {GsmTag, 1, 8000, 1625, 65, 0, {0x40, 0x01}}; }
    // What a stereo recording is saved as: 8000 Hz 16-bit PCM, two channels.
    static WaveFormat StereoPcm() { return {PcmTag, 2, 8000, 32000, 4, 16, {}}; }

    bool operator==(const WaveFormat&) const = default;
    bool IsPcm() const { return *this == Pcm(); }
    bool IsGsm() const { return *this == Gsm(); }
};
