#pragma once

#include <string>

// Ends processes by executable name: every process of this user whose executable has
// that name (compared without case), found by a scan of /proc, gets SIGKILL. Other
// users' processes are never touched. The calling process, when it matches, is ended
// last, so that its own end never spares a copy found after it.
class ProcessKiller {
public:
    // True when the last matching process was ended; false when none matched.
    static bool KillProcessByName(const std::string& executableName, bool firstOnly);

private:
    static std::string ExecutableNameOf(int pid);
    static bool IsOwnedByUs(int pid);
};
