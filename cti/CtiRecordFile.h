#pragma once

#include "cti/CtiEventQueue.h"

#include <string>

// INPUT.INI or OUTPUT.INI: one record in section "ACTION" with the keys "COMMAND",
// "PARAMETER" and "MESSAGE". The file's existence is the handshake: an empty or
// missing file counts as absent.
class CtiRecordFile {
public:
    explicit CtiRecordFile(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }
    bool HasContent() const;
    CtiEventQueue::Record Read() const;
    // The three keys in the order COMMAND, PARAMETER, MESSAGE, replacing the file at
    // once, so that a client never reads half a record.
    bool Write(const CtiEventQueue::Record& record) const;
    void Remove() const;

private:
    std::string path_;
};
