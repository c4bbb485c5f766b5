#include "platform/SharedLibrary.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>

SharedLibrary::~SharedLibrary()
{
    if (handle_ != nullptr)
        dlclose(handle_);
}

bool SharedLibrary::Open(const std::string& path, bool keepLoaded)
{
    if (handle_ != nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
    }
    // A bare name would be searched along the library path: only a path is loaded.
    if (path.find('/') == std::string::npos) {
        error_ = "not a path: " + path;
        return false;
    }
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | (keepLoaded ? RTLD_NODELETE : 0));
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        error_ = reason != nullptr ? reason : "cannot load " + path;
        return false;
    }
    error_.clear();
    return true;
}

void* SharedLibrary::Symbol(const char* name) const
{
    return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

std::string SharedLibrary::PathOf(const void* address)
{
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr || info.dli_fname[0] == '\0')
        return {};
    char resolved[PATH_MAX] = {};
    if (realpath(info.dli_fname, resolved) == nullptr)
        return {};
    return resolved;
}

bool SharedLibrary::SameFile(const std::string& a, const std::string& b)
{
    struct stat first {};
    struct stat second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}
