#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A temporary file holding the current fuzz input, for targets whose code reads
// files by name. One per run, rewritten for every input, removed at the end.
class FuzzInputFile {
public:
    FuzzInputFile();
    ~FuzzInputFile();
    FuzzInputFile(const FuzzInputFile&) = delete;
    FuzzInputFile& operator=(const FuzzInputFile&) = delete;

    bool Write(const std::uint8_t* data, std::size_t size) const;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};
