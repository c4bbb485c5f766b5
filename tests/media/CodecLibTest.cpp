#include "media/CodecError.h"
#include "media/CodecLib.h"
#include "media/CodecRegistry.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Handle {
    CodecLibHandle* handle = nullptr;
    int opened;
    Handle(int id, int direction) : opened(codecLibOpen(&handle, id, direction, 0)) {}
    ~Handle() { codecLibClose(handle, 0); }
};

} // namespace

TEST(CodecLib, HundredSamplesGiveOneFrameAndKeepTwenty)
{
    Handle encoder(CodecRegistry::G729Identifier, 0);
    ASSERT_EQ(encoder.opened, CodecOk);
    std::vector<std::int16_t> pcm(100, 1000);
    std::uint8_t out[64];
    int samples = 100;
    int bytes = sizeof out;
    EXPECT_EQ(codecLibEncode(encoder.handle, pcm.data(), &samples, out, &bytes, nullptr, 0), CodecOk);
    EXPECT_EQ(bytes, 10);
    EXPECT_EQ(encoder.handle->samplesLeftOver.size(), 20u);

    samples = 0;
    bytes = sizeof out;
    EXPECT_EQ(codecLibEncode(encoder.handle, pcm.data(), &samples, out, &bytes, nullptr, 0), CodecOk);
    EXPECT_EQ(bytes, 10);
    EXPECT_TRUE(encoder.handle->samplesLeftOver.empty());
}

TEST(CodecLib, FewerSamplesThanAFrameAreKeptForLater)
{
    Handle encoder(CodecRegistry::G729Identifier, 0);
    std::vector<std::int16_t> pcm(50, 1);
    std::uint8_t out[64];
    int samples = 50;
    int bytes = sizeof out;
    EXPECT_EQ(codecLibEncode(encoder.handle, pcm.data(), &samples, out, &bytes, nullptr, 0), CodecOk);
    EXPECT_EQ(bytes, 0);
    samples = 50;
    bytes = sizeof out;
    EXPECT_EQ(codecLibEncode(encoder.handle, pcm.data(), &samples, out, &bytes, nullptr, 0), CodecOk);
    EXPECT_EQ(bytes, 10);
    EXPECT_EQ(encoder.handle->samplesLeftOver.size(), 20u);
}

TEST(CodecLib, EncodeNeedsRoomForAFrame)
{
    Handle encoder(CodecRegistry::G729Identifier, 0);
    std::vector<std::int16_t> pcm(80);
    std::uint8_t out[9];
    int samples = 80;
    int bytes = sizeof out;
    EXPECT_EQ(codecLibEncode(encoder.handle, pcm.data(), &samples, out, &bytes, nullptr, 0), CodecEncodeNoSpace);
    EXPECT_EQ(bytes, 0);
    EXPECT_TRUE(encoder.handle->samplesLeftOver.empty());
}

TEST(CodecLib, MissingParametersGiveMinus105)
{
    Handle encoder(CodecRegistry::G729Identifier, 0);
    std::uint8_t out[10];
    int samples = 80;
    int bytes = 10;
    EXPECT_EQ(codecLibEncode(encoder.handle, nullptr, &samples, out, &bytes, nullptr, 0), CodecMissingParameter);
    EXPECT_EQ(samples, 0);
    EXPECT_EQ(bytes, 0);
    EXPECT_EQ(codecLibEncode(encoder.handle, nullptr, nullptr, out, &bytes, nullptr, 0), CodecMissingParameter);
    Handle decoder(CodecRegistry::G729Identifier, 1);
    int count = 10;
    EXPECT_EQ(codecLibDecode(decoder.handle, out, &count, nullptr, &samples, nullptr, 0), CodecMissingParameter);
}

TEST(CodecLib, WrongDirectionFailsWithOne)
{
    Handle decoder(CodecRegistry::G729Identifier, 1);
    std::vector<std::int16_t> pcm(80);
    std::uint8_t out[10];
    int samples = 80;
    int bytes = sizeof out;
    EXPECT_EQ(codecLibEncode(decoder.handle, pcm.data(), &samples, out, &bytes, nullptr, 0), CodecWrongDirection);
    EXPECT_EQ(bytes, 0);

    Handle encoder(CodecRegistry::G729Identifier, 0);
    std::uint8_t payload[10] = {};
    int count = 10;
    samples = 80;
    EXPECT_EQ(codecLibDecode(encoder.handle, payload, &count, pcm.data(), &samples, nullptr, 0),
              CodecWrongDirection);
    EXPECT_EQ(samples, 0);
    EXPECT_TRUE(encoder.handle->bytesLeftOver.empty());
}

TEST(CodecLib, UnknownIdentifierGivesMinus100AndNoHandle)
{
    for (int id : {-1, 0, 5, 18, 33, 34}) {
        CodecLibHandle* handle = reinterpret_cast<CodecLibHandle*>(&id);
        EXPECT_EQ(codecLibOpen(&handle, id, 0, 0), CodecUnknownIdentifier) << id;
        EXPECT_EQ(handle, nullptr);
    }
}

TEST(CodecLib, DecodeKeepsAPartialFrameAndResetsOnMinusOne)
{
    Handle decoder(CodecRegistry::G729Identifier, 1);
    std::uint8_t payload[25] = {};
    std::int16_t pcm[400];
    int count = 25;
    int samples = 400;
    EXPECT_EQ(codecLibDecode(decoder.handle, payload, &count, pcm, &samples, nullptr, 0), CodecOk);
    EXPECT_EQ(samples, 160);
    EXPECT_EQ(decoder.handle->bytesLeftOver.size(), 5u);

    count = -1;
    EXPECT_EQ(codecLibDecode(decoder.handle, nullptr, &count, pcm, &samples, nullptr, 0), CodecOk);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(samples, 0);
    EXPECT_TRUE(decoder.handle->bytesLeftOver.empty());
}

TEST(CodecLib, DecodeChecksOutputSpace)
{
    Handle decoder(CodecRegistry::G729Identifier, 1);
    std::uint8_t payload[20] = {};
    std::int16_t pcm[120];
    int count = 20;
    int samples = 79;
    EXPECT_EQ(codecLibDecode(decoder.handle, payload, &count, pcm, &samples, nullptr, 0), CodecDecodeNoSpace);
    samples = 120;
    EXPECT_EQ(codecLibDecode(decoder.handle, payload, &count, pcm, &samples, nullptr, 0), CodecNoSpace);
    EXPECT_EQ(samples, 80);
    EXPECT_EQ(decoder.handle->bytesLeftOver.size(), 10u);
}

TEST(CodecLib, TraceLevelFourPrintsTheSteps)
{
    testing::internal::CaptureStdout();
    Handle encoder(CodecRegistry::G729Identifier, 0);
    std::vector<std::int16_t> pcm(80);
    std::uint8_t out[10];
    int samples = 80;
    int bytes = sizeof out;
    codecLibEncode(encoder.handle, pcm.data(), &samples, out, &bytes, nullptr, 4);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("In codecLibEncode\n"), std::string::npos);
    EXPECT_NE(printed.find("codecLibEncode:InSamplesPerFrame=80 OutBytesPerFrame=10\n"), std::string::npos);
    EXPECT_NE(printed.find("In codecLibEncode:InputLeftOverSize = 0\n"), std::string::npos);
}
