// trn, the desktop softphone.
#include "cti/AppFolder.h"
#include "platform/ProgramOptions.h"
#include "softphone/SoftphoneStyle.h"
#include "softphone/frmSoftphone.h"

#include <QApplication>

namespace {

std::string Help()
{
    const QString sheet = SoftphoneStyle::SheetFile();
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
           "  trn.lock     held while trn runs: one trn per folder\n"
           "  cti.sock     the CTI socket's Unix-domain end, while the CTI socket is on\n"
           "  trn.qss      a style sheet of the user's, replacing the look\n"
           "The look in force: " +
           (sheet.isEmpty() ? std::string("the built-in one") : sheet.toStdString()) +
           "\n"
           "\"Launch at login\" writes $XDG_CONFIG_HOME/autostart/TarnSoftphone.desktop.\n"
           "\n"
           "Environment:\n"
           "  TRN_HOME          the folder of the files above\n"
           "  TRN_CTI_ADDRESS   the loopback address of the CTI socket (default 127.0.0.1)\n"
           "  XDG_RUNTIME_DIR   holds orvsip/ with cti.sock when its path above is too long\n"
           "  XDG_CONFIG_HOME   the parent of the user's folder tarn/ and of autostart/\n"
           "                    (default ~/.config)\n" +
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
