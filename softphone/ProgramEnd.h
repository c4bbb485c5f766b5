#pragma once

#include <chrono>
#include <functional>

// The last steps of trn. The user agent is un-initialised (which un-registers) while a
// watchdog makes sure the program ends within `limit` even when the registrar never
// answers; `finish` (the other copies ended, the lock file and socket removed) runs
// exactly once, on whichever side gets there first, and the process exits with 0.
class ProgramEnd {
public:
    [[noreturn]] static void Run(const std::function<void()>& unInitialize, const std::function<void()>& finish,
                                 std::chrono::milliseconds limit);
};
