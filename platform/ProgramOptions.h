#pragma once

#include <cstdio>
#include <optional>
#include <string>

// The two options every program of the project answers before it starts anything
// (no window, no sound device, no socket): --help (or -h) prints its usage, the files
// and the environment variables it reads; --version prints its name and version.
class ProgramOptions {
public:
    // The exit code (0) when the arguments hold --help, -h or --version, which are
    // answered on `out`; nothing when the program should run.
    static std::optional<int> Answer(int argc, char** argv, const std::string& program, const std::string& help,
                                     std::FILE* out = stdout);
    static std::string Version();
    // The variables the user agent library reads, for the help of every host.
    static std::string UserAgentEnvironment();
};
