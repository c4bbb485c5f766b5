#include "cti/CtiEventQueue.h"

#include <algorithm>

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

} // namespace

void CtiEventQueue::QueueCtiEvent(const std::string& command, const std::string& parameter,
                                  const std::string& message)
{
    if (command.empty())
        return;
    items_.push_back({QueuedForm(command, parameter, message), false});
}

CtiEventQueue::Record CtiEventQueue::QueuedForm(const std::string& command, const std::string& parameter,
                                                const std::string& message)
{
    return {PartOf(command), PartOf(parameter), PartOf(message)};
}

void CtiEventQueue::QueueDirect(const Record& record)
{
    items_.push_back({record, true});
}

void CtiEventQueue::DropFirstQueuedEvent()
{
    if (!items_.empty())
        items_.pop_front();
}

bool CtiEventQueue::TakeNewestDirect(Record& newest)
{
    const auto last = std::find_if(items_.rbegin(), items_.rend(), [](const Item& item) { return item.direct; });
    if (last == items_.rend())
        return false;
    newest = last->record;
    items_.erase(std::remove_if(items_.begin(), items_.end(), [](const Item& item) { return item.direct; }),
                 items_.end());
    return true;
}

std::string CtiEventQueue::ItemText(const Record& record)
{
    return record.command + kPartSeparator + record.parameter + kPartSeparator + record.message;
}

std::string CtiEventQueue::MirrorText() const
{
    std::string text;
    for (std::size_t i = 0; i < items_.size(); ++i)
        text += "\r\n" + std::to_string(i) + "->" + ItemText(items_[i].record);
    return text;
}

std::string CtiEventQueue::Text() const
{
    std::string text;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (i != 0)
            text += kSeparator;
        text += ItemText(items_[i].record);
    }
    return text;
}
