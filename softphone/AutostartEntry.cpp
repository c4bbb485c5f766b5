#include "softphone/AutostartEntry.h"

#include "cti/AppFolder.h"
#include "platform/PrivateFolder.h"
#include "platform/UserFolders.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// One argument of an Exec line: quoted, with the characters the desktop entry format
// reserves escaped.
QString ExecArgument(const QString& text)
{
    QString quoted;
    for (const QChar c : text) {
        if (c == '"' || c == '`' || c == '$')
            quoted += QStringLiteral("\\\\");
        if (c == '\\')
            quoted += QStringLiteral("\\\\\\");
        if (c == '%')
            quoted += '%';
        quoted += c;
    }
    return '"' + quoted + '"';
}

} // namespace

QString AutostartEntry::Path()
{
    return QString::fromStdString(UserFolders::ConfigHome()) + QStringLiteral("/autostart/TarnSoftphone.desktop");
}

QString AutostartEntry::DesktopEntryText()
{
    QString exec = ExecArgument(AppFolder::Executable());
    const QString home = qEnvironmentVariable("TRN_HOME");
    if (!home.isEmpty())
        exec = QStringLiteral("env ") + ExecArgument(QStringLiteral("TRN_HOME=") + home) + ' ' + exec;
    return QStringLiteral("[Desktop Entry]\nType=Application\nName=TARN Softphone\nComment=SIP softphone\n"
                          "Exec=%1\nTerminal=false\nX-GNOME-Autostart-enabled=true\n")
        .arg(exec);
}

void AutostartEntry::Set(bool launchAtLogin)
{
    const QString path = Path();
    if (!launchAtLogin) {
        QFile::remove(path);
        return;
    }
    const QString text = DesktopEntryText();
    if (text.contains('\r') || text.count('\n') != 7)
        return; // a line break in a path would split the entry into other keys
    PrivateFolder::Create(QFileInfo(path).absolutePath().toStdString());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(text.toUtf8());
    file.commit();
}
