#pragma once

#include <QString>

// Where the CTI Unix-domain socket of a files folder lies: "cti.sock" in the folder,
// or, when that path is too long for a socket address, a file named after a hash of
// the folder in "orvsip" under $XDG_RUNTIME_DIR. trn listens there and ctiprobe
// finds it there.
class CtiSocketPath {
public:
    // The longest path a Unix-domain socket address holds.
    static constexpr int kMaxLength = 107;

    // Empty when neither place can hold it.
    static QString For(const QString& folder);
    // Where the sockets of folders whose own path is too long lie: "orvsip" under
    // $XDG_RUNTIME_DIR; empty when that is not set.
    static QString RuntimeFolder();
};
