#pragma once

#include <QString>

// The look of trn when no style sheet file (trn.qss in the files folder) replaces it.
class SoftphoneStyle {
public:
    static QString DefaultSheet();
};
