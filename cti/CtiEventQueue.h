#pragma once

#include <deque>
#include <string>

// The CTI events waiting for OUTPUT.INI, oldest first. One record leaves per output
// cycle, and only after the client consumed the previous one. A queued event's parts
// are in their queued form (an empty part is one blank, and no part holds ":" or
// "|"); a direct record that had to wait for a consuming client keeps its exact text.
class CtiEventQueue {
public:
    struct Record {
        std::string command;
        std::string parameter;
        std::string message;
        bool operator==(const Record&) const = default;
    };

    static constexpr char kSeparator = '|';
    static constexpr char kPartSeparator = ':';

    // Nothing for an empty command; an empty parameter or message becomes one blank.
    void QueueCtiEvent(const std::string& command, const std::string& parameter, const std::string& message);
    // The record as the queue will hand it out: blanks for empty parts, no separators.
    static Record QueuedForm(const std::string& command, const std::string& parameter, const std::string& message);
    // A direct record behind the waiting ones, exactly as it was made.
    void QueueDirect(const Record& record);
    // Forgets the oldest item.
    void DropFirstQueuedEvent();
    // Takes every direct record out of the queue; the newest of them, if any.
    bool TakeNewestDirect(Record& newest);

    bool HasRecord() const { return !items_.empty(); }
    const Record& FirstRecord() const { return items_.front().record; }
    // The queue as the mirror box shows it: a line break, the number, "->" and the
    // item (COMMAND:PARAMETER:MESSAGE), for every item.
    std::string MirrorText() const;
    // The items joined by "|".
    std::string Text() const;

private:
    struct Item {
        Record record;
        bool direct = false;
    };

    static std::string ItemText(const Record& record);

    std::deque<Item> items_;
};
