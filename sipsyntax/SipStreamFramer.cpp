#include "sipsyntax/SipStreamFramer.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

bool IsContentLength(std::string_view name)
{
    name = Trimmed(name);
    constexpr std::string_view full = "content-length";
    if (name.size() == 1)
        return std::tolower(static_cast<unsigned char>(name.front())) == 'l';
    return name.size() == full.size() && std::equal(name.begin(), name.end(), full.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

} // namespace

void SipStreamFramer::Feed(const char* data, std::size_t size)
{
    if (!Failed())
        buffer_.append(data, size);
}

bool SipStreamFramer::HoldsPartialMessage() const
{
    return !Failed() && Held() > 0;
}

void SipStreamFramer::Fail(const std::string& why)
{
    failure_ = why;
    buffer_.clear();
    start_ = 0;
    scanned_ = 0;
}

void SipStreamFramer::Consume(std::size_t count)
{
    start_ += count;
    scanned_ = start_;
    // The bytes taken are dropped once they are the larger part of the buffer.
    if (start_ > 4096 && start_ * 2 > buffer_.size()) {
        buffer_.erase(0, start_);
        start_ = 0;
        scanned_ = 0;
    }
}

std::size_t SipStreamFramer::HeaderEnd()
{
    const std::size_t limit = std::min(buffer_.size(), start_ + MaxHeaderBytes + 4);
    for (std::size_t at = std::max(scanned_, start_ + 1); at < limit; ++at) {
        if (buffer_[at] != '\n')
            continue;
        const char before = buffer_[at - 1];
        if (before == '\n' || (before == '\r' && at >= start_ + 2 && buffer_[at - 2] == '\n'))
            return at + 1;
    }
    scanned_ = limit;
    return std::string::npos;
}

bool SipStreamFramer::BodyLength(std::size_t headerEnd, std::size_t& length)
{
    const std::string_view header(buffer_.data() + start_, headerEnd - start_);
    bool found = false;
    length = 0;
    // The first line is the start line; a header line is "name: value".
    for (std::size_t at = header.find('\n'); at != std::string_view::npos && at + 1 < header.size();) {
        const std::size_t next = header.find('\n', at + 1);
        const std::string_view line = header.substr(at + 1, (next == std::string_view::npos ? header.size() : next) - at - 1);
        at = next;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || !IsContentLength(line.substr(0, colon)))
            continue;
        const std::string_view value = Trimmed(line.substr(colon + 1));
        if (value.empty() || value.size() > 18 ||
            !std::all_of(value.begin(), value.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
            return false;
        const std::size_t number = std::stoull(std::string(value));
        if (found && number != length)
            return false;
        found = true;
        length = number;
    }
    return true;
}

SipStreamFramer::Item SipStreamFramer::Next()
{
    if (Failed())
        return {};
    const std::string_view rest(buffer_.data() + start_, Held());
    if (rest.starts_with("\r\n\r\n")) {
        Consume(4);
        return {Kind::Ping, {}};
    }
    if (rest.starts_with("\r\n")) {
        if (rest.size() == 3 && rest[2] == '\r')
            return {};
        Consume(2);
        return {Kind::Pong, {}};
    }
    if (rest.empty())
        return {};
    const std::size_t headerEnd = HeaderEnd();
    if (headerEnd == std::string::npos) {
        if (Held() > MaxHeaderBytes)
            Fail("a header section over 64 KiB");
        return {};
    }
    std::size_t bodyLength = 0;
    if (!BodyLength(headerEnd, bodyLength)) {
        Fail("an unusable Content-Length");
        return {};
    }
    if (bodyLength > MaxBodyBytes) {
        Fail("a Content-Length over 64 KiB");
        return {};
    }
    if (buffer_.size() - headerEnd < bodyLength)
        return {};
    Item message{Kind::Message, buffer_.substr(start_, headerEnd - start_ + bodyLength)};
    Consume(message.text.size());
    return message;
}
