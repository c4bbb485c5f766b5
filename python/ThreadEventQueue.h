#pragma once

#include <OrvDispatch.h>

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

// The events the controls of one thread received, in the order their message loop
// delivered them, until Python takes them. Python code never runs inside the
// control's own dispatching: the loop only fills this queue, and the binding hands
// the events to the callables afterwards.
class ThreadEventQueue {
public:
    struct Entry {
        std::int64_t serial; // the control that raised it
        std::string name;
        std::vector<OrvValue> arguments;
    };

    static ThreadEventQueue& ForCurrentThread();

    void Push(Entry entry) { entries_.push_back(std::move(entry)); }
    bool Empty() const { return entries_.empty(); }
    std::optional<Entry> Pop();

private:
    std::deque<Entry> entries_;
};
