#include "platform/ProcessKiller.h"

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

namespace {

std::vector<pid_t> ProcessIds()
{
    std::vector<pid_t> pids;
    DIR* proc = opendir("/proc");
    if (proc == nullptr)
        return pids;
    while (const dirent* entry = readdir(proc)) {
        const std::string name = entry->d_name;
        if (!name.empty() && std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); }))
            pids.push_back(static_cast<pid_t>(std::stol(name)));
    }
    closedir(proc);
    return pids;
}

int OpenProcess(pid_t pid)
{
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

bool Signal(int process, int signal)
{
    return syscall(SYS_pidfd_send_signal, process, signal, nullptr, 0) == 0;
}

// A process descriptor reads as ready once the process has ended.
bool HasEnded(int process)
{
    pollfd entry{process, POLLIN, 0};
    return poll(&entry, 1, 0) > 0;
}

} // namespace

ProcessKiller::ProcessKiller(std::string executable) : executable_(std::move(executable)) {}

ProcessKiller::~ProcessKiller()
{
    for (const int process : copies_)
        close(process);
}

bool ProcessKiller::IdentityOf(const std::string& path, FileId& id)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return false;
    id = {info.st_dev, info.st_ino};
    return true;
}

// Another user's process is never a copy, whatever it runs.
bool ProcessKiller::IsCopy(pid_t pid, const FileId& program)
{
    const std::string folder = "/proc/" + std::to_string(pid);
    struct stat owner {};
    FileId theirs;
    return stat(folder.c_str(), &owner) == 0 && owner.st_uid == getuid() && IdentityOf(folder + "/exe", theirs) &&
           theirs == program;
}

int ProcessKiller::TerminateCopies()
{
    terminatedAt_ = std::chrono::steady_clock::now();
    FileId program;
    if (!IdentityOf(executable_, program))
        return 0;
    const pid_t self = getpid();
    for (const pid_t pid : ProcessIds()) {
        if (pid == self)
            continue;
        // Held first, checked second: the descriptor stays with the process it names.
        const int process = OpenProcess(pid);
        if (process < 0)
            continue;
        if (IsCopy(pid, program) && !HasEnded(process) && Signal(process, SIGTERM))
            copies_.push_back(process);
        else
            close(process);
    }
    return static_cast<int>(copies_.size());
}

void ProcessKiller::WaitForEnds(std::chrono::steady_clock::time_point deadline)
{
    while (true) {
        std::vector<pollfd> alive;
        for (const int process : copies_) {
            if (!HasEnded(process))
                alive.push_back({process, POLLIN, 0});
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                std::chrono::steady_clock::now());
        if (alive.empty() || left.count() <= 0)
            return;
        poll(alive.data(), alive.size(), static_cast<int>(left.count()) + 1);
    }
}

int ProcessKiller::KillSurvivors(std::chrono::milliseconds grace)
{
    WaitForEnds(terminatedAt_ + grace);
    int killed = 0;
    for (const int process : copies_) {
        if (!HasEnded(process) && Signal(process, SIGKILL))
            ++killed;
        close(process);
    }
    copies_.clear();
    return killed;
}
