#include "platform/RiffFile.h"
#include "tests/platform/TempDirectory.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

std::string Bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Word(std::uint32_t value)
{
    return std::string{static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
                       static_cast<char>(value >> 24)};
}

} // namespace

TEST(RiffFile, WritesChunksWhoseSizesAreFilledInOnAscending)
{
    TempDirectory directory;
    const std::string path = directory.File("out.riff");
    auto riff = RiffFile::Create(path);
    ASSERT_NE(riff, nullptr);
    RiffFile::Chunk form, odd, even;
    ASSERT_TRUE(riff->CreateChunk(form, RiffFile::Id("RIFF"), RiffFile::Id("TEST")));
    ASSERT_TRUE(riff->CreateChunk(odd, RiffFile::Id("odd ")));
    ASSERT_TRUE(riff->Write("abc", 3));
    ASSERT_TRUE(riff->Ascend(odd));
    ASSERT_TRUE(riff->CreateChunk(even, RiffFile::Id("even")));
    ASSERT_TRUE(riff->WriteWord(0x01020304));
    ASSERT_TRUE(riff->Ascend(even));
    ASSERT_TRUE(riff->Ascend(form));
    ASSERT_TRUE(riff->Close());
    EXPECT_EQ(Bytes(path), "RIFF" + Word(4 + 8 + 4 + 8 + 4) + "TEST" + "odd " + Word(3) + std::string("abc\0", 4) +
                               "even" + Word(4) + Word(0x01020304));

    auto reader = RiffFile::OpenForReading(path);
    ASSERT_NE(reader, nullptr);
    RiffFile::Chunk found, inner;
    ASSERT_TRUE(reader->Descend(found, nullptr, RiffFile::Id("RIFF"), RiffFile::Id("TEST")));
    EXPECT_EQ(found.size, 28u);
    ASSERT_TRUE(reader->Descend(inner, &found, RiffFile::Id("even")));
    std::uint32_t value = 0;
    ASSERT_TRUE(reader->ReadWord(value));
    EXPECT_EQ(value, 0x01020304u);
    ASSERT_TRUE(reader->Seek(found.start));
    ASSERT_TRUE(reader->Descend(inner, &found, RiffFile::Id("odd ")));
    EXPECT_EQ(inner.size, 3u);
    ASSERT_TRUE(reader->Ascend(inner));
    EXPECT_EQ(reader->Position(), 24) << "past the pad byte";
    EXPECT_FALSE(reader->Descend(inner, &found, RiffFile::Id("none")));
    ASSERT_TRUE(reader->Seek(0));
    EXPECT_FALSE(reader->Descend(found, nullptr, RiffFile::Id("RIFF"), RiffFile::Id("WAVE"))) << "another form";
}

TEST(RiffFile, ChunksClaimingMoreThanTheFileOrTheirParentAreRefused)
{
    TempDirectory directory;
    const std::string path = directory.File("lies.riff");
    // The inner chunk claims 1000 bytes inside a form of 20.
    WriteBytes(path, "RIFF" + Word(20) + "WAVE" + "fmt " + Word(1000) + std::string(8, 'x'));
    auto reader = RiffFile::OpenForReading(path);
    RiffFile::Chunk form, inner;
    ASSERT_TRUE(reader->Descend(form, nullptr, RiffFile::Id("RIFF"), RiffFile::Id("WAVE")));
    EXPECT_FALSE(reader->Descend(inner, &form, RiffFile::Id("fmt ")));

    // The form claims more than the file holds.
    WriteBytes(path, "RIFF" + Word(0xFFFFFFF0) + "WAVE" + "data" + Word(4) + "abcd");
    reader = RiffFile::OpenForReading(path);
    EXPECT_FALSE(reader->Descend(form, nullptr, RiffFile::Id("RIFF"), RiffFile::Id("WAVE")));

    // Cut inside a header, a form too small for its type, a form cut short.
    for (const std::string& bytes : {std::string("RIF"), "RIFF" + Word(2) + "WA", "RIFF" + Word(8) + "WAVE" + "da"}) {
        WriteBytes(path, bytes);
        reader = RiffFile::OpenForReading(path);
        EXPECT_FALSE(reader->Descend(form, nullptr, RiffFile::Id("RIFF"), RiffFile::Id("WAVE"))) << bytes.size();
    }
    EXPECT_EQ(RiffFile::OpenForReading(directory.File("missing")), nullptr);
    EXPECT_EQ(RiffFile::Create(directory.File("no/such/folder")), nullptr);
}
