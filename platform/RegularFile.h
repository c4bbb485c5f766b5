#pragma once

#include <string>

// Opening for reading a file that must be a regular one: a directory, FIFO or
// device in its place is refused at once rather than read or waited for.
class RegularFile {
public:
    // A descriptor the caller closes, or -1.
    static int OpenForReading(const std::string& path);
};
