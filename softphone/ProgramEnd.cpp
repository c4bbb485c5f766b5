#include "softphone/ProgramEnd.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

std::atomic_flag finishing = ATOMIC_FLAG_INIT;

[[noreturn]] void FinishOnce(const std::function<void()>& finish)
{
    // The side that comes second waits for the first one to end the process.
    while (finishing.test_and_set())
        std::this_thread::sleep_for(std::chrono::hours(1));
    finish();
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace

void ProgramEnd::Run(const std::function<void()>& unInitialize, const std::function<void()>& finish,
                     std::chrono::milliseconds limit)
{
    std::thread([finish, limit] {
        std::this_thread::sleep_for(limit);
        FinishOnce(finish);
    }).detach();
    unInitialize();
    FinishOnce(finish);
}
