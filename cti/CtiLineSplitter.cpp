#include "cti/CtiLineSplitter.h"

bool CtiLineSplitter::WantsInput() const
{
    return !tooLongWaiting_ && buffer_.find('\n') == std::string::npos;
}

void CtiLineSplitter::Feed(std::string_view bytes)
{
    if (skipping_) {
        const std::size_t end = bytes.find('\n');
        if (end == std::string_view::npos)
            return;
        skipping_ = false;
        bytes.remove_prefix(end + 1);
    }
    buffer_.append(bytes);
    SkipWhenTooLong();
}

void CtiLineSplitter::SkipWhenTooLong()
{
    // No line end in sight and already too long (a "\r" may still come before the
    // "\n"): the rest of this line is skipped as it comes, never kept.
    if (buffer_.find('\n') == std::string::npos && buffer_.size() > maxLine_ + 1) {
        buffer_.clear();
        skipping_ = true;
        tooLongWaiting_ = true;
    }
}

std::optional<CtiLineSplitter::Line> CtiLineSplitter::Next()
{
    if (tooLongWaiting_) {
        tooLongWaiting_ = false;
        return Line{{}, true};
    }
    const std::size_t end = buffer_.find('\n');
    if (end == std::string::npos)
        return std::nullopt;
    std::size_t length = end;
    if (length > 0 && buffer_[length - 1] == '\r')
        --length;
    Line line;
    line.tooLong = length > maxLine_;
    if (!line.tooLong)
        line.text = buffer_.substr(0, length);
    buffer_.erase(0, end + 1);
    SkipWhenTooLong();
    return line;
}
