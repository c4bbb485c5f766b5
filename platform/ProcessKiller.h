#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

// Ends the other running copies of a program: the processes of this user whose
// executable is the same file (device and inode) as `executable`. A name is never
// enough: anything can be named like the program. Each copy gets SIGTERM, so that it
// can end in order; the ones still alive after a grace period get SIGKILL. Copies are
// held by process descriptors from the moment they are found, so a signal never
// reaches a process that took a finished copy's number.
class ProcessKiller {
public:
    // The running program itself by default.
    explicit ProcessKiller(std::string executable = "/proc/self/exe");
    ~ProcessKiller();
    ProcessKiller(const ProcessKiller&) = delete;
    ProcessKiller& operator=(const ProcessKiller&) = delete;

    // SIGTERM to every copy but the calling process; how many got it.
    int TerminateCopies();
    // Waits until the copies have ended or `grace` has passed since TerminateCopies,
    // then SIGKILL to those still alive; how many needed it.
    int KillSurvivors(std::chrono::milliseconds grace);

private:
    struct FileId {
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const FileId&) const = default;
    };

    static bool IdentityOf(const std::string& path, FileId& id);
    static bool IsCopy(pid_t pid, const FileId& program);
    void WaitForEnds(std::chrono::steady_clock::time_point deadline);

    std::string executable_;
    std::vector<int> copies_;
    std::chrono::steady_clock::time_point terminatedAt_;
};
