#pragma once

#include <QString>

// The look of trn: trn.qss in the files folder when the user put one there, else the
// installed share/trn/trn.qss, else the built-in sheet (the same file, compiled in).
class SoftphoneStyle {
public:
    // The file whose sheet is in force; empty for the built-in one.
    static QString SheetFile();
    static QString Sheet();
};
