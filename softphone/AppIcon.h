#pragma once

#include <QIcon>

// The program's icon, drawn at start: a handset on a round badge.
class AppIcon {
public:
    static QIcon Create();
};
