#include "softphone/ProcessKiller.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::vector<int> ProcessIds()
{
    std::vector<int> pids;
    DIR* proc = opendir("/proc");
    if (proc == nullptr)
        return pids;
    while (const dirent* entry = readdir(proc)) {
        const std::string name = entry->d_name;
        if (!name.empty() && std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); }))
            pids.push_back(std::stoi(name));
    }
    closedir(proc);
    return pids;
}

} // namespace

std::string ProcessKiller::ExecutableNameOf(int pid)
{
    char target[4096];
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0)
        return {};
    std::string path(target, static_cast<std::size_t>(length));
    // A program replaced on disk while running still counts as that program.
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
        path.resize(path.size() - deleted.size());
    return path.substr(path.rfind('/') + 1);
}

bool ProcessKiller::IsOwnedByUs(int pid)
{
    struct stat info {};
    const std::string folder = "/proc/" + std::to_string(pid);
    return stat(folder.c_str(), &info) == 0 && info.st_uid == getuid();
}

bool ProcessKiller::KillProcessByName(const std::string& executableName, bool firstOnly)
{
    const std::string wanted = Lower(executableName);
    const int self = getpid();
    bool selfMatches = false;
    bool result = false;
    for (const int pid : ProcessIds()) {
        if (!IsOwnedByUs(pid) || Lower(ExecutableNameOf(pid)) != wanted)
            continue;
        if (pid == self) {
            selfMatches = true;
        } else {
            result = kill(pid, SIGKILL) == 0;
        }
        if (firstOnly)
            break;
    }
    if (selfMatches)
        kill(self, SIGKILL);
    return result;
}
