#pragma once

#include "media/AudioDeviceOwner.h"
#include "platform/VirtualWaveBackend.h"
#include "tests/platform/TempDirectory.h"

#include <sndfile.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Records what the audio device hands its owner; plays a fixed block to the speaker.
class RecordingOwner : public AudioDeviceOwner {
public:
    void OnMicrophoneBlock(std::span<const std::int16_t, BlockSamples> block) override
    {
        std::lock_guard lock(mutex_);
        microphone_.emplace_back();
        std::copy(block.begin(), block.end(), microphone_.back().begin());
    }

    bool OnSpeakerBlock(std::span<std::int16_t, BlockSamples> block) override
    {
        ++speakerCalls_;
        std::fill(block.begin(), block.end(), speakerValue_.load());
        return speakerValue_ != 0;
    }

    void PlayToSpeaker(std::int16_t value) { speakerValue_ = value; }
    int SpeakerCalls() const { return speakerCalls_; }
    std::vector<std::array<std::int16_t, BlockSamples>> MicrophoneBlocks()
    {
        std::lock_guard lock(mutex_);
        return microphone_;
    }
    std::size_t MicrophoneCount()
    {
        std::lock_guard lock(mutex_);
        return microphone_.size();
    }
    // Waits (up to five seconds) until `count` microphone blocks arrived.
    bool WaitForMicrophoneBlocks(std::size_t count)
    {
        for (int tries = 0; tries < 500 && MicrophoneCount() < count; ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return MicrophoneCount() >= count;
    }

private:
    std::mutex mutex_;
    std::vector<std::array<std::int16_t, BlockSamples>> microphone_;
    std::atomic<int> speakerCalls_{0};
    std::atomic<std::int16_t> speakerValue_{0};
};

// Plays blocks numbered by the speaker call that asked for them (1, 2, ...).
class NumberingOwner : public AudioDeviceOwner {
public:
    void OnMicrophoneBlock(std::span<const std::int16_t, BlockSamples>) override {}
    bool OnSpeakerBlock(std::span<std::int16_t, BlockSamples> block) override
    {
        std::fill(block.begin(), block.end(), static_cast<std::int16_t>(++calls_));
        return true;
    }
    int Calls() const { return calls_; }

private:
    std::atomic<int> calls_{0};
};

// The virtual devices, counting the streams open at any moment.
class CountingBackend : public VirtualWaveBackend {
public:
    std::unique_ptr<WaveTransport> OpenTransport(WaveDirection direction, int id) override
    {
        auto inner = VirtualWaveBackend::OpenTransport(direction, id);
        if (inner == nullptr)
            return nullptr;
        return std::make_unique<Counted>(std::move(inner), direction == WaveDirection::Capture ? captures : playbacks);
    }

    std::atomic<int> captures{0};
    std::atomic<int> playbacks{0};

private:
    class Counted : public WaveTransport {
    public:
        Counted(std::unique_ptr<WaveTransport> inner, std::atomic<int>& count) : inner_(std::move(inner)), count_(count)
        {
            ++count_;
        }
        ~Counted() override { --count_; }
        bool Start() override { return inner_->Start(); }
        std::size_t Transfer(std::span<std::int16_t> samples) override { return inner_->Transfer(samples); }

    private:
        std::unique_ptr<WaveTransport> inner_;
        std::atomic<int>& count_;
    };
};

// The virtual devices plus a device 7 that opens but never starts, as a sound card
// that is there but busy; `alsoBusy` makes another device behave so.
class UnstartableBackend : public CountingBackend {
public:
    static constexpr int BusyDevice = 7;

    std::unique_ptr<WaveTransport> OpenTransport(WaveDirection direction, int id) override
    {
        if (id != BusyDevice && id != alsoBusy)
            return CountingBackend::OpenTransport(direction, id);
        return std::make_unique<Busy>();
    }

    std::atomic<int> alsoBusy{BusyDevice};

private:
    class Busy : public WaveTransport {
    public:
        bool Start() override { return false; }
        std::size_t Transfer(std::span<std::int16_t>) override { return 0; }
    };
};

// A capture device that records only `samples` per block, as fast as it is asked.
class ShortBlockBackend : public VirtualWaveBackend {
public:
    explicit ShortBlockBackend(std::size_t samples) : samples_(samples) {}
    std::unique_ptr<WaveTransport> OpenTransport(WaveDirection, int) override
    {
        return std::make_unique<Short>(samples_);
    }

private:
    class Short : public WaveTransport {
    public:
        explicit Short(std::size_t samples) : samples_(samples) {}
        bool Start() override { return true; }
        std::size_t Transfer(std::span<std::int16_t> samples) override
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::fill(samples.begin(), samples.end(), 1000);
            return std::min(samples_, samples.size());
        }

    private:
        std::size_t samples_;
    };
    std::size_t samples_;
};

inline void WriteMonoWav(const std::string& path, const std::vector<std::int16_t>& samples)
{
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    sf_write_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
}

// Sets an environment variable for the life of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name) { setenv(name, value.c_str(), 1); }
    ~ScopedEnvironment() { unsetenv(name_); }

private:
    const char* name_;
};
