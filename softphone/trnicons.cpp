// trnicons FOLDER: writes trn's icon into FOLDER as an icon theme holds it
// (scalable/apps/NAME.svg, SIZExSIZE/apps/NAME.png), for installing under
// share/icons/hicolor. Run by the build.
#include "softphone/AppIcon.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

bool WriteSvg(const QDir& theme)
{
    const QString folder = QStringLiteral("scalable/apps");
    QFile file(theme.filePath(folder + '/' + AppIcon::kName + QStringLiteral(".svg")));
    return theme.mkpath(folder) && file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(AppIcon::Svg().toUtf8()) >= 0;
}

bool WritePng(const QDir& theme, int size)
{
    const QString folder = QStringLiteral("%1x%1/apps").arg(size);
    return theme.mkpath(folder) &&
           AppIcon::Draw(size).save(theme.filePath(folder + '/' + AppIcon::kName + QStringLiteral(".png")), "PNG");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: trnicons FOLDER\n");
        return 2;
    }
    const QDir theme(QString::fromLocal8Bit(argv[1]));
    bool written = WriteSvg(theme);
    for (const int size : AppIcon::kSizes)
        written = written && WritePng(theme, size);
    if (!written) {
        std::fprintf(stderr, "trnicons: cannot write the icon files under %s\n", argv[1]);
        return 1;
    }
    return 0;
}
