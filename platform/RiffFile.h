#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// A RIFF file read or written chunk by chunk: descend into a chunk found by its id
// (and, for "RIFF" and "LIST", its form type), ascend out of it, create a chunk whose
// size is filled in when it is ascended. Every size read from a file is checked
// against its parent chunk and the file's length, so a chunk claiming more than is
// there is refused, never read past. Little-endian sizes, as RIFF has them.
class RiffFile {
public:
    struct Chunk {
        std::uint32_t id = 0;
        std::uint32_t size = 0;     // bytes of data, form type included
        std::uint32_t formType = 0; // "RIFF" and "LIST" only
        std::int64_t start = 0;     // offset of the chunk's data (after the form type)
        std::int64_t end = 0;       // offset just past its data
    };

    static constexpr std::uint32_t Id(const char (&text)[5])
    {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 8 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 16 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(text[3])) << 24;
    }

    ~RiffFile();
    RiffFile(const RiffFile&) = delete;
    RiffFile& operator=(const RiffFile&) = delete;

    // Null when the file cannot be opened (or created).
    static std::unique_ptr<RiffFile> OpenForReading(const std::string& path);
    static std::unique_ptr<RiffFile> Create(const std::string& path);

    // Reading: finds the chunk `id` (of form `formType` for RIFF and LIST) from the
    // current position up to the end of `parent` (null: the whole file), and stops
    // at its data. False when there is none, or a chunk on the way lies about its size.
    bool Descend(Chunk& chunk, const Chunk* parent, std::uint32_t id, std::uint32_t formType = 0);
    // Reading: goes past the chunk's data (and its pad byte). Writing: fills in its
    // size and goes to its end.
    bool Ascend(const Chunk& chunk);
    // Writing: a chunk header with its size left open (and the form type for RIFF
    // and LIST); the data follows.
    bool CreateChunk(Chunk& chunk, std::uint32_t id, std::uint32_t formType = 0);

    bool Seek(std::int64_t offset);
    // Reads exactly `bytes`; false (position undefined) when the file has fewer.
    bool Read(void* data, std::size_t bytes);
    bool Write(const void* data, std::size_t bytes);
    bool ReadWord(std::uint32_t& value);
    bool WriteWord(std::uint32_t value);
    std::int64_t Position();
    std::int64_t Length() const { return length_; }
    // Writing: everything on disk; false when some write failed.
    bool Close();

private:
    RiffFile(std::FILE* file, bool writing);
    bool WriteChunkSize(const Chunk& chunk);

    std::FILE* file_;
    bool writing_;
    bool failed_ = false;
    std::int64_t length_ = 0;
};
