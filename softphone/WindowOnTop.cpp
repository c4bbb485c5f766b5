#include "softphone/WindowOnTop.h"

#include <QWidget>

void WindowOnTop::Set(QWidget* window, bool onTop)
{
    if (IsSet(window) == onTop)
        return;
    const bool shown = window->isVisible();
    const QRect geometry = window->geometry();
    // Changing a window flag hides the window: show it again where it was.
    window->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (shown) {
        window->setGeometry(geometry);
        window->show();
    }
}

bool WindowOnTop::IsSet(const QWidget* window)
{
    return window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}
