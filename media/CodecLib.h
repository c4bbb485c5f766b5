#pragma once

#include "media/CodecInstance.h"

#include <cstdint>
#include <memory>
#include <vector>

// The codec engine: codecs opened by identifier (see CodecRegistry), fed any number
// of samples or bytes per call, with what does not fill a frame kept for the next
// call. Every function returns 0 or an error; trace levels of 4 and more print
// each step to standard output.
struct CodecLibHandle {
    int codecId = 0;
    int direction = 0; // 0 encode, 1 decode
    std::unique_ptr<CodecInstance> instance;
    std::vector<std::int16_t> samplesLeftOver;
    std::vector<std::uint8_t> bytesLeftOver;
    // Room for each call's left-over and new input together, kept between calls
    // so that steady encoding and decoding allocate nothing.
    std::vector<std::int16_t> encodeWork;
    std::vector<std::uint8_t> decodeWork;
};

// On failure *handle is left empty; -100 when nothing implements `codecId`.
int codecLibOpen(CodecLibHandle** handle, int codecId, int direction, int traceLevel);
int codecLibClose(CodecLibHandle* handle, int traceLevel);
// *sampleCount new samples in (0 flushes the left-over, padded with silence);
// *outBytes is the space in and the bytes written out.
int codecLibEncode(CodecLibHandle* handle, const std::int16_t* pcm, int* sampleCount, std::uint8_t* out,
                   int* outBytes, void* reserved, int traceLevel);
// *byteCount payload bytes in (-1 empties the left-over); *sampleCount is the
// space in and the samples written out.
int codecLibDecode(CodecLibHandle* handle, const std::uint8_t* in, int* byteCount, std::int16_t* out,
                   int* sampleCount, void* reserved, int traceLevel);
