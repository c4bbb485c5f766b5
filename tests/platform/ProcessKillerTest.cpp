#include "platform/ProcessKiller.h"
#include "tests/platform/TempDirectory.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace {

std::string CopyOf(const std::string& program, const TempDirectory& folder, const std::string& name)
{
    const std::string path = folder.File(name);
    std::filesystem::copy_file(program, path);
    std::filesystem::permissions(path, std::filesystem::perms::all);
    return path;
}

pid_t Start(const std::string& path, std::vector<const char*> arguments, uid_t asUser = getuid())
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (asUser != getuid() && setuid(asUser) != 0)
            _exit(3);
        arguments.insert(arguments.begin(), path.c_str());
        arguments.push_back(nullptr);
        execv(path.c_str(), const_cast<char* const*>(arguments.data()));
        _exit(4);
    }
    return pid;
}

// The signal that ended the process, 0 when it ended otherwise.
int EndingSignal(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

bool IsRunning(pid_t pid)
{
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == 0;
}

// Waits until the exec of a started process has happened (its executable is the path).
void WaitForExec(pid_t pid, const std::string& path)
{
    for (int i = 0; i < 1000; ++i) {
        std::error_code error;
        if (std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error) == path)
            return;
        usleep(2000);
    }
}

} // namespace

// Copies are processes of this user running the same file: a namesake in another
// folder (even one named exactly like the program) is not one, and another user's
// process never is.
TEST(ProcessKiller, EndsOnlyTheSameFileOfTheSameUserTermFirstKillLater)
{
    TempDirectory folder;
    std::filesystem::create_directory(folder.File("other"));
    const std::string program = CopyOf("/bin/sleep", folder, "trn");
    const std::string namesake = CopyOf("/bin/sleep", folder, "other/trn");
    const std::string shell = CopyOf("/bin/bash", folder, "stubborn");
    const pid_t a = Start(program, {"60"});
    const pid_t b = Start(program, {"60"});
    const pid_t bystander = Start(namesake, {"60"});
    for (const auto& [pid, path] : {std::pair{a, program}, {b, program}, {bystander, namesake}})
        WaitForExec(pid, path);

    ProcessKiller killer(program);
    EXPECT_EQ(killer.TerminateCopies(), 2);
    EXPECT_EQ(EndingSignal(a), SIGTERM);
    EXPECT_EQ(EndingSignal(b), SIGTERM);
    EXPECT_EQ(killer.KillSurvivors(std::chrono::seconds(2)), 0) << "both ended on SIGTERM";
    EXPECT_TRUE(IsRunning(bystander));

    // A copy that ignores SIGTERM gets SIGKILL once the grace period is over.
    const pid_t stubborn = Start(shell, {"-c", "trap '' TERM; while :; do sleep 0.05; done"});
    WaitForExec(stubborn, shell);
    usleep(100000); // the trap is set
    ProcessKiller shells(shell);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(shells.TerminateCopies(), 1);
    EXPECT_EQ(shells.KillSurvivors(std::chrono::milliseconds(300)), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
    EXPECT_EQ(EndingSignal(stubborn), SIGKILL);

    if (getuid() != 0) {
        kill(bystander, SIGKILL);
        EndingSignal(bystander);
        GTEST_SKIP() << "starting a process as another user needs root";
    }
    std::filesystem::permissions(folder.File(""), std::filesystem::perms::all);
    const pid_t theirs = Start(program, {"60"}, 65534);
    WaitForExec(theirs, program);
    EXPECT_EQ(ProcessKiller(program).TerminateCopies(), 0);
    EXPECT_TRUE(IsRunning(theirs));
    for (const pid_t pid : {theirs, bystander}) {
        kill(pid, SIGKILL);
        EXPECT_EQ(EndingSignal(pid), SIGKILL);
    }
}
