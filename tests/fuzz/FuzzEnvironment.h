#pragma once

#include "platform/NetworkConfinement.h"

#include <cstddef>
#include <cstdint>
#include <string>

// What every fuzz target sets up before anything of the engine exists: the process
// is confined on the network (no name lookups, nothing sent beyond loopback, or
// nothing sent at all) and uses the virtual sound device, whatever the machine has.
// A target holds one for its whole run, constructed before its engine objects.
class FuzzEnvironment {
public:
    explicit FuzzEnvironment(NetworkConfinement::Level level);

    static std::string Text(const std::uint8_t* data, std::size_t size);
};
