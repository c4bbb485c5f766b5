#pragma once

#include <string>

// The CTI events waiting for OUTPUT.INI: one string of items separated by "|", oldest
// first, each item COMMAND:PARAMETER:MESSAGE. One record leaves per output cycle,
// and only after the client consumed the previous one.
class CtiEventQueue {
public:
    struct Record {
        std::string command;
        std::string parameter;
        std::string message;
    };

    static constexpr char kSeparator = '|';
    static constexpr char kPartSeparator = ':';

    // Nothing for an empty command; an empty parameter or message becomes one blank.
    void QueueCtiEvent(const std::string& command, const std::string& parameter, const std::string& message);
    // The record as the queue will hand it out: blanks for empty parts, no separators.
    static Record QueuedForm(const std::string& command, const std::string& parameter, const std::string& message);
    void AppendQueuedEvent(const std::string& item);
    // Forgets the oldest item.
    void DropFirstQueuedEvent();

    // Whether an item is waiting (the queue holds more than two characters).
    bool HasRecord() const { return queue_.size() > 2; }
    // The oldest item split into its three parts (missing parts empty).
    Record FirstRecord() const;
    // The queue as the mirror box shows it: a line break, the number, "->" and the
    // item, for every item.
    std::string MirrorText() const;

    const std::string& Text() const { return queue_; }

private:
    std::string queue_;
};
