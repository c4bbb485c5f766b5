#pragma once

class QWidget;

// "Always on top" for one window: the stays-on-top hint set or cleared without moving
// or resizing it; a shown window stays shown.
class WindowOnTop {
public:
    static void Set(QWidget* window, bool onTop);
    static bool IsSet(const QWidget* window);
};
