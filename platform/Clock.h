#pragma once

#include <cstdint>

// Millisecond time keeping of the user agent: a 32-bit tick that wraps like the
// classic system tick count, and a plain sleep.
class Clock {
public:
    static std::uint32_t TickCount();
    static std::int64_t MonotonicMs();
    static void Sleep(int milliseconds);
};
