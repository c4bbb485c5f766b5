#include "softphone/ProcessKiller.h"
#include "tests/platform/TempDirectory.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace {

// A copy of sleep under a name no other test uses, so that killing by name here
// reaches only the processes this test started.
std::string CopyOfSleep(const TempDirectory& folder, const std::string& name)
{
    const std::string path = folder.File(name);
    std::filesystem::copy_file("/bin/sleep", path);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

pid_t Start(const std::string& path, uid_t asUser = getuid())
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (asUser != getuid() && setuid(asUser) != 0)
            _exit(3);
        execl(path.c_str(), path.c_str(), "60", static_cast<char*>(nullptr));
        _exit(4);
    }
    return pid;
}

// Waits for the process to end and tells whether SIGKILL ended it.
bool EndedByKill(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

bool IsRunning(pid_t pid)
{
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == 0;
}

// Waits up to two seconds for one of the two to end; the one that ended, or 0.
pid_t OneOfThemEnds(pid_t a, pid_t b)
{
    for (int i = 0; i < 1000; ++i) {
        for (const pid_t pid : {a, b}) {
            if (!IsRunning(pid))
                return pid;
        }
        usleep(2000);
    }
    return 0;
}

// Waits until the exec of a started process has happened (its executable is the copy).
void WaitForExec(pid_t pid, const std::string& path)
{
    for (int i = 0; i < 500; ++i) {
        std::error_code error;
        if (std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error) == path)
            return;
        usleep(2000);
    }
}

} // namespace

TEST(ProcessKiller, EndsEveryProcessOfThatNameAndNoOther)
{
    TempDirectory folder;
    const std::string name = "trnkill" + std::to_string(getpid());
    std::filesystem::create_directory(folder.File("other"));
    const std::string first = CopyOfSleep(folder, name);
    const std::string second = CopyOfSleep(folder, "other/" + name);
    const std::string bystander = CopyOfSleep(folder, name + "x");
    const pid_t a = Start(first);
    const pid_t b = Start(second);
    const pid_t c = Start(bystander);
    WaitForExec(a, first);
    WaitForExec(b, second);
    WaitForExec(c, bystander);

    EXPECT_TRUE(ProcessKiller::KillProcessByName("TRNKill" + name.substr(7), false))
        << "names compare without case";
    EXPECT_TRUE(EndedByKill(a));
    EXPECT_TRUE(EndedByKill(b)) << "the folder does not matter, the name does";
    EXPECT_TRUE(IsRunning(c));
    EXPECT_FALSE(ProcessKiller::KillProcessByName(name, false)) << "nothing left to match";
    kill(c, SIGKILL);
    EXPECT_TRUE(EndedByKill(c));
}

TEST(ProcessKiller, FirstOnlyStopsAfterOneMatch)
{
    TempDirectory folder;
    const std::string name = "trnfirst" + std::to_string(getpid());
    const std::string path = CopyOfSleep(folder, name);
    const pid_t a = Start(path);
    const pid_t b = Start(path);
    WaitForExec(a, path);
    WaitForExec(b, path);
    EXPECT_TRUE(ProcessKiller::KillProcessByName(name, true));
    const pid_t ended = OneOfThemEnds(a, b);
    ASSERT_NE(ended, 0);
    const pid_t other = ended == a ? b : a;
    EXPECT_TRUE(IsRunning(other)) << "the second match is spared";
    kill(other, SIGKILL);
    EXPECT_TRUE(EndedByKill(other));
}

TEST(ProcessKiller, NeverTouchesAnotherUsersProcess)
{
    if (getuid() != 0)
        GTEST_SKIP() << "starting a process as another user needs root";
    TempDirectory folder;
    const std::string name = "trnuser" + std::to_string(getpid());
    const std::string path = CopyOfSleep(folder, name);
    std::filesystem::permissions(folder.File(""), std::filesystem::perms::all);
    std::filesystem::permissions(path, std::filesystem::perms::all);
    const uid_t nobody = 65534;
    const pid_t theirs = Start(path, nobody);
    const pid_t ours = Start(path);
    WaitForExec(theirs, path);
    WaitForExec(ours, path);
    EXPECT_TRUE(ProcessKiller::KillProcessByName(name, false));
    EXPECT_TRUE(EndedByKill(ours));
    EXPECT_TRUE(IsRunning(theirs));
    kill(theirs, SIGKILL);
    EXPECT_TRUE(EndedByKill(theirs));
}
