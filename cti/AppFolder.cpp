#include "cti/AppFolder.h"

#include <QFileInfo>

QString AppFolder::Executable()
{
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QString AppFolder::Program()
{
    return QFileInfo(Executable()).absolutePath() + '/';
}

QString AppFolder::Files()
{
    const QString home = qEnvironmentVariable("TRN_HOME");
    if (home.isEmpty())
        return Program();
    return home.endsWith('/') ? home : home + '/';
}
