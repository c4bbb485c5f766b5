// Fuzz target: a sound file read by WavSource (the virtual microphone's file): any
// format the sound file library knows, averaged to mono and resampled to 8 kHz.
// The input is written to a temporary file, as WavSource reads files by name.

#include "tests/fuzz/FuzzEnvironment.h"
#include "tests/fuzz/FuzzInputFile.h"

#include "platform/WavSource.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzEnvironment environment(NetworkConfinement::Level::NoTraffic);
    static const FuzzInputFile file;
    if (file.Write(data, size))
        WavSource::Load(file.Path());
    return 0;
}
