#include "tools/EventHistory.h"

void EventHistory::DropConsumed(std::deque<std::uint64_t>& serials) const
{
    while (!serials.empty() && serials.front() < consumedBelow_)
        serials.pop_front();
}

void EventHistory::Record(const std::string& name)
{
    std::deque<std::uint64_t>& serials = printed_[name];
    DropConsumed(serials);
    if (serials.size() < KeptPerName)
        serials.push_back(next_);
    else
        serials.back() = next_;
    ++next_;
}

bool EventHistory::Consume(const std::string& name)
{
    auto found = printed_.find(name);
    if (found == printed_.end())
        return false;
    DropConsumed(found->second);
    if (found->second.empty())
        return false;
    consumedBelow_ = found->second.front() + 1;
    found->second.pop_front();
    return true;
}

void EventHistory::Clear()
{
    printed_.clear();
    consumedBelow_ = next_;
}

std::size_t EventHistory::Size() const
{
    std::size_t size = 0;
    for (const auto& [name, serials] : printed_)
        size += serials.size();
    return size;
}
