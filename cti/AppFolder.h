#pragma once

#include <QString>

// Where trn and ctiprobe find their files.
//
// Files() holds TARN.INI, INPUT.INI, OUTPUT.INI, the lock file and a user's own style
// sheet: the folder TRN_HOME names when it is set; else, for a trn run from its build
// tree, the program's own folder (the build writes the marker file kBuildTreeMarker
// beside the programs; an installation has none, whoever may write its folders);
// else, installed, the user's $XDG_CONFIG_HOME/tarn/ (~/.config/tarn/).
// Data() holds what an installation gives all its users (the installed style sheet):
// PREFIX/share/trn/, found from the program's folder PREFIX/bin/, so that a prefix may
// move (an unpacked package).
class AppFolder {
public:
    static constexpr const char* kBuildTreeMarker = "trn-build-tree";

    // The running executable itself.
    static QString Executable();
    // The folder of the running executable, ending in "/".
    static QString Program();
    static bool IsBuildTree();
    // Ending in "/".
    static QString Files();
    // Ending in "/".
    static QString Data();
};
