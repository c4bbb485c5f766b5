#include "platform/RiffFile.h"

#include <array>

namespace {

constexpr std::int64_t HeaderBytes = 8;
constexpr std::int64_t FormTypeBytes = 4;

bool HasFormType(std::uint32_t id)
{
    return id == RiffFile::Id("RIFF") || id == RiffFile::Id("LIST");
}

std::uint32_t FromLittleEndian(const std::array<unsigned char, 4>& bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

} // namespace

RiffFile::RiffFile(std::FILE* file, bool writing) : file_(file), writing_(writing)
{
    if (!writing_ && std::fseek(file_, 0, SEEK_END) == 0)
        length_ = ftello(file_);
    std::fseek(file_, 0, SEEK_SET);
}

RiffFile::~RiffFile()
{
    Close();
}

std::unique_ptr<RiffFile> RiffFile::OpenForReading(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    return file != nullptr ? std::unique_ptr<RiffFile>(new RiffFile(file, false)) : nullptr;
}

std::unique_ptr<RiffFile> RiffFile::Create(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "w+b");
    return file != nullptr ? std::unique_ptr<RiffFile>(new RiffFile(file, true)) : nullptr;
}

bool RiffFile::Close()
{
    if (file_ == nullptr)
        return !failed_;
    if (std::fclose(file_) != 0)
        failed_ = true;
    file_ = nullptr;
    return !failed_;
}

std::int64_t RiffFile::Position()
{
    return file_ != nullptr ? ftello(file_) : -1;
}

bool RiffFile::Seek(std::int64_t offset)
{
    return file_ != nullptr && offset >= 0 && fseeko(file_, offset, SEEK_SET) == 0;
}

bool RiffFile::Read(void* data, std::size_t bytes)
{
    return file_ != nullptr && (bytes == 0 || std::fread(data, 1, bytes, file_) == bytes);
}

bool RiffFile::Write(const void* data, std::size_t bytes)
{
    if (file_ == nullptr || (bytes > 0 && std::fwrite(data, 1, bytes, file_) != bytes))
        failed_ = true;
    return !failed_;
}

bool RiffFile::ReadWord(std::uint32_t& value)
{
    std::array<unsigned char, 4> bytes{};
    if (!Read(bytes.data(), bytes.size()))
        return false;
    value = FromLittleEndian(bytes);
    return true;
}

bool RiffFile::WriteWord(std::uint32_t value)
{
    const std::array<unsigned char, 4> bytes = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                                static_cast<unsigned char>(value >> 16),
                                                static_cast<unsigned char>(value >> 24)};
    return Write(bytes.data(), bytes.size());
}

bool RiffFile::Descend(Chunk& chunk, const Chunk* parent, std::uint32_t id, std::uint32_t formType)
{
    const std::int64_t limit = parent != nullptr ? parent->end : length_;
    for (std::int64_t at = Position(); at >= 0 && at + HeaderBytes <= limit;) {
        Chunk found;
        if (!Seek(at) || !ReadWord(found.id) || !ReadWord(found.size))
            return false;
        found.start = at + HeaderBytes;
        found.end = found.start + found.size;
        if (found.end > limit)
            return false;
        if (HasFormType(found.id)) {
            if (found.size < FormTypeBytes || !ReadWord(found.formType))
                return false;
            found.start += FormTypeBytes;
        }
        if (found.id == id && (!HasFormType(id) || found.formType == formType)) {
            chunk = found;
            return true;
        }
        at = found.end + (found.size & 1);
    }
    return false;
}

bool RiffFile::Ascend(const Chunk& chunk)
{
    if (writing_ && !WriteChunkSize(chunk))
        return false;
    const std::int64_t end = writing_ ? Position() : chunk.end;
    if (writing_ && ((end - chunk.start) & 1) != 0) {
        const char pad = 0;
        return Write(&pad, 1);
    }
    return Seek(end + (writing_ ? 0 : (chunk.size & 1)));
}

bool RiffFile::WriteChunkSize(const Chunk& chunk)
{
    const std::int64_t end = Position();
    const std::int64_t header = chunk.start - (HasFormType(chunk.id) ? FormTypeBytes : 0) - HeaderBytes;
    const std::int64_t size = end - header - HeaderBytes;
    if (end < 0 || size < 0 || size > 0xFFFFFFFFLL)
        return false;
    return Seek(header + 4) && WriteWord(static_cast<std::uint32_t>(size)) && Seek(end);
}

bool RiffFile::CreateChunk(Chunk& chunk, std::uint32_t id, std::uint32_t formType)
{
    chunk = Chunk{};
    chunk.id = id;
    chunk.formType = formType;
    if (!WriteWord(id) || !WriteWord(0))
        return false;
    if (HasFormType(id) && !WriteWord(formType))
        return false;
    chunk.start = Position();
    return chunk.start > 0;
}
