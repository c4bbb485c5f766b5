#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Cuts a byte stream into lines ended by "\n" (a "\r" before it is dropped). A line
// longer than the limit is reported once as too long and skipped to its end, so a
// client sending a huge line or binary garbage costs at most one line of memory
// (plus the chunk being fed, when the caller feeds only while WantsInput()).
class CtiLineSplitter {
public:
    struct Line {
        std::string text;
        bool tooLong = false;
    };

    explicit CtiLineSplitter(std::size_t maxLineBytes) : maxLine_(maxLineBytes) {}

    // False while a whole line waits to be taken: read no more until it is.
    bool WantsInput() const;
    void Feed(std::string_view bytes);
    // The next whole line, or nothing until more input arrives.
    std::optional<Line> Next();

private:
    void SkipWhenTooLong();

    std::size_t maxLine_;
    std::string buffer_;
    bool skipping_ = false;
    bool tooLongWaiting_ = false;
};
