#pragma once

#include <QString>
#include <QWidget>

// The widget of that object name inside `window`; the test stops when there is none.
template <typename T> T* Child(QWidget& window, const char* objectName)
{
    T* found = window.findChild<T*>(QString::fromLatin1(objectName));
    if (found == nullptr)
        qFatal("no %s in %s", objectName, qPrintable(window.objectName()));
    return found;
}
