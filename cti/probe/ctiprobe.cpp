// ctiprobe, the CTI test tool: starts trn and drives it through INPUT.INI and
// OUTPUT.INI, or through the CTI socket, showing every command and event.
#include "cti/probe/frmCtiProbe.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ctiprobe"));
    frmCtiProbe window;
    window.show();
    return QApplication::exec();
}
