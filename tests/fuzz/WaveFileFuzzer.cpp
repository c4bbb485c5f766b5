// Fuzz target: a WAV file read the way a wave is played into a call: the header,
// then the data in chunks to the end, with a seek in between, native PCM, GSM 06.10
// (WAV49) or any other format converted.

#include "tests/fuzz/FuzzEnvironment.h"
#include "tests/fuzz/FuzzInputFile.h"

#include "media/WaveFile.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr int MaxChunks = 64;

void ReadToEnd(WaveFile& wave)
{
    for (int chunk = 0; chunk < MaxChunks && !wave.ReadChunk().empty(); ++chunk) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzEnvironment environment(NetworkConfinement::Level::NoTraffic);
    static const FuzzInputFile file;
    WaveFile wave;
    if (!file.Write(data, size) || wave.OpenForReading(file.Path()) != 0)
        return 0;
    wave.TotalSeconds();
    wave.ReadChunk();
    wave.SeekSeconds(wave.TotalSeconds() / 2 + 1);
    ReadToEnd(wave);
    wave.SeekSeconds(0);
    ReadToEnd(wave);
    return 0;
}
