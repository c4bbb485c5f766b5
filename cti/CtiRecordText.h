#pragma once

#include "cti/CtiEventQueue.h"

#include <string_view>

// One CTI record read from a file's text in one piece, so that its three keys come
// from the same version of the file (INPUT.INI in trn, OUTPUT.INI in ctiprobe). Read
// as the profile-string reader reads: names without case, missing keys empty, values
// cut to 254 characters.
struct CtiRecordText {
    CtiEventQueue::Record record;
    // All three keys are there: a client that writes them one by one has finished.
    bool complete = false;

    // Any text, however broken, gives a record (garbage gives an empty command).
    static CtiRecordText Parse(std::string_view text);
};
