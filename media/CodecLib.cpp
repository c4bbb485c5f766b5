#include "media/CodecLib.h"

#include "media/CodecError.h"
#include "media/CodecRegistry.h"

#include <cstdarg>
#include <cstdio>

namespace {

constexpr int TraceThreshold = 4;

__attribute__((format(printf, 2, 3))) void Trace(int traceLevel, const char* format, ...)
{
    if (traceLevel < TraceThreshold)
        return;
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
}

int FailClearingCounts(int* inCount, int* outCount, int result)
{
    if (inCount != nullptr)
        *inCount = 0;
    if (outCount != nullptr)
        *outCount = 0;
    return result;
}

// The samples to encode this call: the left-over followed by the new samples, or
// on a flush the left-over padded with silence to whole frames.
const std::vector<std::int16_t>& EncodeWork(CodecLibHandle& handle, const std::int16_t* pcm, int newSamples,
                                            int frameSamples)
{
    std::vector<std::int16_t>& work = handle.encodeWork;
    work.assign(handle.samplesLeftOver.begin(), handle.samplesLeftOver.end());
    if (newSamples == 0 && !work.empty()) {
        const std::size_t frame = static_cast<std::size_t>(frameSamples);
        work.resize((work.size() + frame - 1) / frame * frame, 0);
    } else {
        work.insert(work.end(), pcm, pcm + newSamples);
    }
    return work;
}

} // namespace

int codecLibOpen(CodecLibHandle** handle, int codecId, int direction, int traceLevel)
{
    Trace(traceLevel, "In codecLibOpen\n");
    if (handle == nullptr)
        return CodecMissingParameter;
    *handle = nullptr;
    const CodecRegistry::Entry* entry = CodecRegistry::Instance().Find(codecId);
    if (entry == nullptr)
        return CodecUnknownIdentifier;
    int result = CodecOk;
    auto instance = entry->open(direction, result);
    if (instance == nullptr)
        return result;
    auto opened = std::make_unique<CodecLibHandle>();
    opened->codecId = codecId;
    opened->direction = direction;
    opened->instance = std::move(instance);
    *handle = opened.release();
    Trace(traceLevel, "codecLibOpen:pointer=%p\n", static_cast<void*>(*handle));
    return result;
}

int codecLibClose(CodecLibHandle* handle, int traceLevel)
{
    Trace(traceLevel, "In codecLibClose\n");
    delete handle;
    return CodecOk;
}

int codecLibEncode(CodecLibHandle* handle, const std::int16_t* pcm, int* sampleCount, std::uint8_t* out,
                   int* outBytes, void*, int traceLevel)
{
    Trace(traceLevel, "In codecLibEncode\n");
    if (handle == nullptr || sampleCount == nullptr || outBytes == nullptr || out == nullptr ||
        *sampleCount < 0 || *outBytes < 0 || (pcm == nullptr && *sampleCount > 0)) {
        Trace(traceLevel, "codecLibEncode: NULL parameters\n");
        return FailClearingCounts(sampleCount, outBytes, CodecMissingParameter);
    }
    const CodecInstance::FrameInfo info = handle->instance->Info();
    Trace(traceLevel, "codecLibEncode:InSamplesPerFrame=%d OutBytesPerFrame=%d\n", info.inSamplesPerFrame,
          info.outBytesPerFrame);
    const int leftOver = static_cast<int>(handle->samplesLeftOver.size());
    const bool flush = *sampleCount == 0 && leftOver > 0;
    if (leftOver + *sampleCount < info.inSamplesPerFrame && !flush) {
        Trace(traceLevel, "In codecLibEncode:not enough data\n");
        handle->samplesLeftOver.insert(handle->samplesLeftOver.end(), pcm, pcm + *sampleCount);
        *outBytes = 0;
        return CodecOk;
    }
    if (*outBytes < info.outBytesPerFrame)
        return FailClearingCounts(sampleCount, outBytes, CodecEncodeNoSpace);
    Trace(traceLevel, "In codecLibEncode:enough data\n");
    const std::vector<std::int16_t>& work = EncodeWork(*handle, pcm, *sampleCount, info.inSamplesPerFrame);
    const std::size_t frame = static_cast<std::size_t>(info.inSamplesPerFrame);
    int result = CodecOk;
    int written = 0;
    std::size_t used = 0;
    Trace(traceLevel, "codecLibEncode:InsideInBufSz=%d TmpInputSz=%d\n", leftOver, static_cast<int>(work.size()));
    while (work.size() - used >= frame && *outBytes - written >= info.outBytesPerFrame) {
        int bytes = 0;
        const int frameResult = handle->instance->EncodeFrame(work.data() + used, out + written, bytes);
        if (frameResult != CodecOk)
            result = frameResult;
        written += bytes;
        used += frame;
        Trace(traceLevel, "In codecLibEncode:2SumOutputSz=%d TmpInputSz = %d\n", written,
              static_cast<int>(work.size() - used));
    }
    handle->samplesLeftOver.assign(work.begin() + static_cast<std::ptrdiff_t>(used), work.end());
    Trace(traceLevel, "In codecLibEncode:InputLeftOverSize = %d\n",
          static_cast<int>(handle->samplesLeftOver.size()));
    *outBytes = written;
    return result;
}

int codecLibDecode(CodecLibHandle* handle, const std::uint8_t* in, int* byteCount, std::int16_t* out,
                   int* sampleCount, void*, int traceLevel)
{
    Trace(traceLevel, "In codecLibDecode\n");
    if (handle != nullptr && byteCount != nullptr && *byteCount == -1) {
        handle->bytesLeftOver.clear();
        *byteCount = 0;
        if (sampleCount != nullptr)
            *sampleCount = 0;
        return CodecOk;
    }
    if (handle == nullptr || byteCount == nullptr || sampleCount == nullptr || out == nullptr ||
        *byteCount < 0 || *sampleCount < 0 || (in == nullptr && *byteCount > 0)) {
        Trace(traceLevel, "codecLibDecode: NULL parameters\n");
        return FailClearingCounts(byteCount, sampleCount, CodecMissingParameter);
    }
    const CodecInstance::FrameInfo info = handle->instance->Info();
    if (*sampleCount < info.inSamplesPerFrame)
        return CodecDecodeNoSpace;
    Trace(traceLevel, "codecLibDecode:enough data\n");
    std::vector<std::uint8_t>& work = handle->decodeWork;
    work.assign(handle->bytesLeftOver.begin(), handle->bytesLeftOver.end());
    work.insert(work.end(), in, in + *byteCount);
    Trace(traceLevel, "codecLibDecode:InsideInBufSz=%d TmpInputSz=%d\n",
          static_cast<int>(handle->bytesLeftOver.size()), static_cast<int>(work.size()));
    int result = CodecOk;
    int produced = 0;
    std::size_t position = 0;
    while (work.size() - position >= static_cast<std::size_t>(info.outBytesPerFrame)) {
        if (*sampleCount - produced < info.inSamplesPerFrame) {
            result = CodecNoSpace;
            break;
        }
        int used = 0;
        int samples = 0;
        const int frameResult = handle->instance->DecodeFrame(work.data() + position,
                                                              static_cast<int>(work.size() - position), used,
                                                              out + produced, samples);
        if (frameResult != CodecOk)
            result = frameResult;
        position += static_cast<std::size_t>(used);
        produced += samples;
        Trace(traceLevel, "codecLibDecode:2SumOutputSz=%d TmpInputSz = %d inputUsed=%d\n", produced,
              static_cast<int>(work.size() - position), used);
        if (used == 0)
            break;
    }
    // Input a failing codec could not use would only pile up.
    if (result != CodecOk && result != CodecNoSpace)
        position = work.size();
    handle->bytesLeftOver.assign(work.begin() + static_cast<std::ptrdiff_t>(position), work.end());
    Trace(traceLevel, "codecLibDecode:InputLeftOverSize = %d\n", static_cast<int>(handle->bytesLeftOver.size()));
    *sampleCount = produced;
    return result;
}
