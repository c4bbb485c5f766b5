// trn, the desktop softphone.
#include "softphone/frmSoftphone.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("trn"));
    // Minimised to the tray the window is hidden; the program ends by "X" or "Exit".
    QApplication::setQuitOnLastWindowClosed(false);
    frmSoftphone window;
    // Another trn holds this folder: it goes on alone, this one ends quietly.
    if (!window.FormLoad())
        return 0;
    return QApplication::exec();
}
