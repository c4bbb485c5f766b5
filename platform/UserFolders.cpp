#include "platform/UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

std::string UserFolders::Home()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "/";
}

std::string UserFolders::ConfigHome()
{
    // A relative value is to be ignored: it would depend on the working folder.
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    return configHome != nullptr && configHome[0] == '/' ? configHome : Home() + "/.config";
}
