#pragma once

#include <cstdlib>
#include <string>
#include <unistd.h>

// A fresh directory under /tmp, removed with everything in it at the end.
class TempDirectory {
public:
    TempDirectory()
    {
        char pattern[] = "/tmp/orvsip-test-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempDirectory() { std::system(("rm -rf " + path_).c_str()); }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};
