// Fuzz target: a sound file read by WavSource (the virtual microphone's file): any
// format the sound file library knows, averaged to mono and resampled to 8 kHz.
// The input is written to a temporary file, as WavSource reads files by name.

#include "tests/fuzz/FuzzEnvironment.h"

#include "platform/WavSource.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// One temporary file for the whole run, rewritten for every input.
class InputFile {
public:
    InputFile()
    {
        const char* folder = std::getenv("TMPDIR");
        path_ = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/orvsip-wav-fuzz-XXXXXX";
        int fd = mkstemp(path_.data());
        if (fd >= 0)
            close(fd);
    }
    ~InputFile() { std::remove(path_.c_str()); }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool Write(const std::uint8_t* data, std::size_t size) const
    {
        std::FILE* file = std::fopen(path_.c_str(), "wb");
        if (file == nullptr)
            return false;
        bool written = std::fwrite(data, 1, size, file) == size;
        return std::fclose(file) == 0 && written;
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzEnvironment environment(NetworkConfinement::Level::NoTraffic);
    static const InputFile file;
    if (file.Write(data, size))
        WavSource::Load(file.Path());
    return 0;
}
