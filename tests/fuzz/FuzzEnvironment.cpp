#include "tests/fuzz/FuzzEnvironment.h"

#include <cstdlib>

FuzzEnvironment::FuzzEnvironment(NetworkConfinement::Level level)
{
    NetworkConfinement::Set(level);
    setenv("ORVSIP_AUDIO", "virtual", 1);
    unsetenv("ORVSIP_VIRTUAL_MIC");
    unsetenv("ORVSIP_VIRTUAL_SPEAKER");
}

std::string FuzzEnvironment::Text(const std::uint8_t* data, std::size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}
