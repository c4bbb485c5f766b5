#pragma once

#include <QIcon>
#include <QImage>
#include <QList>
#include <QString>

// The program's icon, a handset on a round badge, described once: the window and the
// tray paint it, and the build writes it as the SVG and PNG files a desktop shows
// (trnicons).
class AppIcon {
public:
    // The name of the icon files and of the desktop entry.
    static const QString kName;
    // The sizes in pixels drawn for the window and written as PNG files.
    static const QList<int> kSizes;

    static QIcon Create();
    static QImage Draw(int size);
    static QString Svg();
};
