#include "cti/AppFolder.h"

#include "platform/UserFolders.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString WithSlash(const QString& folder)
{
    return folder.endsWith('/') ? folder : folder + '/';
}

} // namespace

QString AppFolder::Executable()
{
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QString AppFolder::Program()
{
    return QFileInfo(Executable()).absolutePath() + '/';
}

bool AppFolder::IsBuildTree()
{
    return QFileInfo::exists(Program() + QString::fromLatin1(kBuildTreeMarker));
}

QString AppFolder::Files()
{
    const QString home = qEnvironmentVariable("TRN_HOME");
    if (!home.isEmpty())
        return WithSlash(home);
    if (IsBuildTree())
        return Program();
    return QString::fromStdString(UserFolders::ConfigHome()) + QStringLiteral("/tarn/");
}

QString AppFolder::Data()
{
    return WithSlash(QDir::cleanPath(Program() + QStringLiteral("../share/trn")));
}
