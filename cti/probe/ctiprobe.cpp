// ctiprobe, the CTI test tool: starts trn and drives it through INPUT.INI and
// OUTPUT.INI, or through the CTI socket, showing every command and event.
#include "cti/AppFolder.h"
#include "cti/probe/frmCtiProbe.h"
#include "platform/ProgramOptions.h"

#include <QApplication>

namespace {

std::string Help()
{
    const std::string files = AppFolder::Files().toStdString();
    return "Usage: ctiprobe [--help | --version] [QT-OPTION]...\n"
           "Drives trn's CTI interface by hand: starts trn, sends one command per button\n"
           "and shows every event, through the files or the CTI socket.\n"
           "\n"
           "Files:\n"
           "  " +
           AppFolder::Program().toStdString() + "trn\n      the softphone \"Start Softphone\" starts\n  " + files +
           "INPUT.INI\n      the commands it writes\n  " + files +
           "OUTPUT.INI\n      the events it takes (and deletes)\n"
           "\n"
           "Environment:\n"
           "  TRN_HOME          the folder of INPUT.INI and OUTPUT.INI, as for trn\n"
           "  XDG_CONFIG_HOME   the parent of an installed trn's folder tarn/ (default ~/.config)\n"
           "  XDG_RUNTIME_DIR   where trn's Unix-domain CTI socket lies when cti.sock's path\n"
           "                    is too long\n";
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> answered = ProgramOptions::Answer(argc, argv, "ctiprobe", Help()))
        return *answered;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ctiprobe"));
    QApplication::setApplicationVersion(QString::fromStdString(ProgramOptions::Version()));
    frmCtiProbe window;
    window.show();
    return QApplication::exec();
}
