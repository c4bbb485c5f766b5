#include "softphone/ProgramEnd.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

// The last steps run once and the process ends with 0 within the limit, even when
// un-initialising (un-registering from a registrar that never answers) takes longer.
TEST(ProgramEnd, EndsWithinItsLimitAndFinishesOnce)
{
    using namespace std::chrono;
    for (const milliseconds unInitialize : {milliseconds(20000), milliseconds(0)}) {
        int finished[2];
        ASSERT_EQ(pipe(finished), 0);
        const auto started = steady_clock::now();
        const pid_t child = fork();
        if (child == 0) {
            ProgramEnd::Run([unInitialize] { std::this_thread::sleep_for(unInitialize); },
                            [&finished] { [[maybe_unused]] auto n = write(finished[1], "f", 1); }, milliseconds(300));
        }
        close(finished[1]);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        const auto took = steady_clock::now() - started;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_LT(took, seconds(5));
        if (unInitialize > milliseconds(0)) {
            EXPECT_GE(took, milliseconds(300));
        }
        char marks[4];
        EXPECT_EQ(read(finished[0], marks, sizeof marks), 1) << "the last steps run exactly once";
        close(finished[0]);
    }
}
