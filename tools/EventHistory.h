#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>

// The events orvua printed since the previous `waitfor` matched, for the next one to
// look in. Every event name keeps the serial numbers of its first printings after
// that point and of its latest one, so a long session that never waits stays small:
// `waitfor` answers exactly as long as fewer than KeptPerName printings of one name
// wait unconsumed, and beyond that still finds the name.
class EventHistory {
public:
    static constexpr std::size_t KeptPerName = 256;

    void Record(const std::string& name);
    // Whether `name` was printed since the previous match; if so, the match moves to
    // its first such printing.
    bool Consume(const std::string& name);
    // Forgets everything printed so far (a `waitfor` that timed out).
    void Clear();
    // Serial numbers held, for checking the bound.
    std::size_t Size() const;

private:
    void DropConsumed(std::deque<std::uint64_t>& serials) const;

    std::map<std::string, std::deque<std::uint64_t>> printed_;
    std::uint64_t next_ = 0;
    // Printings with a serial number below this one are consumed.
    std::uint64_t consumedBelow_ = 0;
};
