#pragma once

#include <string>

// The user's base folders, as the XDG base directory rules name them.
class UserFolders {
public:
    // $HOME when it is an absolute path, else the home folder of the password database.
    static std::string Home();
    // $XDG_CONFIG_HOME when it is an absolute path, else Home() + "/.config"; no "/" at
    // the end.
    static std::string ConfigHome();
};
