#include "tests/fuzz/FuzzInputFile.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

FuzzInputFile::FuzzInputFile()
{
    const char* folder = std::getenv("TMPDIR");
    path_ = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/orvsip-fuzz-XXXXXX";
    int fd = mkstemp(path_.data());
    if (fd >= 0)
        close(fd);
}

FuzzInputFile::~FuzzInputFile()
{
    std::remove(path_.c_str());
}

bool FuzzInputFile::Write(const std::uint8_t* data, std::size_t size) const
{
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}
