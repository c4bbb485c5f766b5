// trn, the desktop softphone.
#include "cti/AppFolder.h"
#include "platform/ProgramOptions.h"
#include "softphone/frmSoftphone.h"

#include <QApplication>

namespace {

std::string Help()
{
    return "Usage: trn [--help | --version] [QT-OPTION]...\n"
           "The desktop SIP softphone: one account, one call, driven by hand or by a CTI\n"
           "client through INPUT.INI and OUTPUT.INI or the CTI socket. Qt's own options\n"
           "(-platform, -style ...) are passed on.\n"
           "\n"
           "Files, in " +
           AppFolder::Files().toStdString() +
           ":\n"
           "  TARN.INI     the settings (mode 0600; the first-run wizard writes it)\n"
           "  INPUT.INI    a CTI command for trn\n"
           "  OUTPUT.INI   an event for the CTI client\n"
           "  trn.qss      an optional Qt style sheet replacing the built-in look\n"
           "and $XDG_CONFIG_HOME/autostart/TarnSoftphone.desktop for \"Launch at login\".\n"
           "\n"
           "Environment:\n"
           "  TRN_HOME          the folder of the files above\n"
           "  TRN_CTI_ADDRESS   the address of the CTI socket (default 127.0.0.1)\n"
           "  XDG_CONFIG_HOME   the folder of the autostart entry (default ~/.config)\n" +
           ProgramOptions::UserAgentEnvironment();
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> answered = ProgramOptions::Answer(argc, argv, "trn", Help()))
        return *answered;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("trn"));
    QApplication::setApplicationVersion(QString::fromStdString(ProgramOptions::Version()));
    // Minimised to the tray the window is hidden; the program ends by "X" or "Exit".
    QApplication::setQuitOnLastWindowClosed(false);
    frmSoftphone window;
    // Another trn holds this folder: it goes on alone, this one ends quietly.
    if (!window.FormLoad())
        return 0;
    return QApplication::exec();
}
