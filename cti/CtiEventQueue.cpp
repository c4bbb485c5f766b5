#include "cti/CtiEventQueue.h"

#include <vector>

namespace {

// A part holding a separator would split into other parts or items on the way out.
std::string PartOf(const std::string& text)
{
    if (text.empty())
        return " ";
    std::string part = text;
    for (char& c : part) {
        if (c == CtiEventQueue::kSeparator || c == CtiEventQueue::kPartSeparator)
            c = ' ';
    }
    return part;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

} // namespace

void CtiEventQueue::QueueCtiEvent(const std::string& command, const std::string& parameter,
                                  const std::string& message)
{
    if (command.empty())
        return;
    const Record record = QueuedForm(command, parameter, message);
    AppendQueuedEvent(record.command + kPartSeparator + record.parameter + kPartSeparator + record.message);
}

CtiEventQueue::Record CtiEventQueue::QueuedForm(const std::string& command, const std::string& parameter,
                                                const std::string& message)
{
    return {PartOf(command), PartOf(parameter), PartOf(message)};
}

void CtiEventQueue::AppendQueuedEvent(const std::string& item)
{
    queue_ += kSeparator + item;
    if (queue_.size() >= 2 && queue_.front() == kSeparator)
        queue_.erase(0, 1);
}

void CtiEventQueue::DropFirstQueuedEvent()
{
    const std::size_t separator = queue_.find(kSeparator);
    queue_ = separator == std::string::npos ? std::string() : queue_.substr(separator + 1);
}

CtiEventQueue::Record CtiEventQueue::FirstRecord() const
{
    const std::vector<std::string> parts = Split(Split(queue_, kSeparator).front(), kPartSeparator);
    Record record;
    record.command = parts[0];
    record.parameter = parts.size() > 1 ? parts[1] : std::string();
    record.message = parts.size() > 2 ? parts[2] : std::string();
    return record;
}

std::string CtiEventQueue::MirrorText() const
{
    std::string text;
    if (queue_.empty())
        return text;
    const std::vector<std::string> items = Split(queue_, kSeparator);
    for (std::size_t i = 0; i < items.size(); ++i)
        text += "\r\n" + std::to_string(i) + "->" + items[i];
    return text;
}
