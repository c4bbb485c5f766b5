#include "cti/CtiSocketPath.h"

#include <QCryptographicHash>
#include <QFileInfo>

namespace {

bool Fits(const QString& path)
{
    return !path.isEmpty() && path.toLocal8Bit().size() <= CtiSocketPath::kMaxLength;
}

} // namespace

QString CtiSocketPath::RuntimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return runtime.isEmpty() ? QString() : runtime + QStringLiteral("/orvsip");
}

QString CtiSocketPath::For(const QString& folder)
{
    const QString own = folder + (folder.endsWith('/') ? "" : "/") + QStringLiteral("cti.sock");
    if (Fits(own))
        return own;
    if (RuntimeFolder().isEmpty())
        return {};
    const QByteArray canonical = QFileInfo(folder).absoluteFilePath().toUtf8();
    const QString hash =
        QString::fromLatin1(QCryptographicHash::hash(canonical, QCryptographicHash::Sha256).toHex().left(32));
    const QString runtime = RuntimeFolder() + '/' + hash + QStringLiteral(".sock");
    return Fits(runtime) ? runtime : QString();
}
