#pragma once

#include <QString>

// Where trn finds its files. TARN.INI, INPUT.INI, OUTPUT.INI and the optional style
// sheet lie in the program's own folder, or in the folder TRN_HOME names (tests, and
// installs whose program folder is not writable).
class AppFolder {
public:
    // The folder of the running executable, ending in "/".
    static QString Program();
    // The running executable itself.
    static QString Executable();
    // TRN_HOME when set and not empty, else Program(); ending in "/".
    static QString Files();
};
