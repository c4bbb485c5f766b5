#pragma once

#include <cstddef>
#include <utility>
#include <vector>

// A first-in first-out queue over one ring of slots that grows (doubling) when it
// is full and never shrinks: once it has held its largest load, pushing and popping
// allocate nothing, unlike a deque, which takes and frees a node every few
// elements. Not locked: the owner locks.
template <typename T>
class RingQueue {
public:
    bool empty() const { return count_ == 0; }
    std::size_t size() const { return count_; }

    T& front() { return slots_[head_]; }
    const T& front() const { return slots_[head_]; }

    // The new last element; assigned from `value`.
    void push_back(const T& value) { emplace_back() = value; }

    // The new last element, as the slot last held it: the caller assigns all of it.
    T& emplace_back()
    {
        if (count_ == slots_.size())
            Grow();
        T& slot = slots_[(head_ + count_) % slots_.size()];
        ++count_;
        return slot;
    }

    void pop_front()
    {
        head_ = (head_ + 1) % slots_.size();
        --count_;
    }

    void clear()
    {
        head_ = 0;
        count_ = 0;
    }

private:
    static constexpr std::size_t FirstCapacity = 8;

    void Grow()
    {
        std::vector<T> grown(slots_.empty() ? FirstCapacity : 2 * slots_.size());
        for (std::size_t at = 0; at < count_; ++at)
            grown[at] = std::move(slots_[(head_ + at) % slots_.size()]);
        slots_.swap(grown);
        head_ = 0;
    }

    std::vector<T> slots_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
};
