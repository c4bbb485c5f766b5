#pragma once

#include <string>

// Folders a program keeps its own files in, out of other users' reach.
class PrivateFolder {
public:
    // Creates the folder and every missing parent with mode 0700; folders that exist
    // stay as they are. True when the path is a folder afterwards.
    static bool Create(const std::string& path);
    // A folder (not a symbolic link) of this user that no one else may enter.
    static bool IsPrivate(const std::string& path);
};
