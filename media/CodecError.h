#pragma once

// Results of the codec objects and the codec engine: 0 or a negative code.
enum CodecError {
    CodecOk = 0,
    CodecWrongDirection = 1,      // encode on a decoder handle or the other way round
    CodecNoSpace = -10,           // the output buffer cannot take the result
    CodecNotWholeFrames = -20,    // a payload or PCM input that is not whole frames
    CodecUnavailable = -30,       // the codec library was not built in
    CodecBadFrame = -40,          // the codec library rejected a frame
    CodecUnknownIdentifier = -100,
    CodecMissingParameter = -105,
    CodecEncodeNoSpace = -110,
    CodecDecodeNoSpace = -210,
};
