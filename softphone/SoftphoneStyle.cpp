#include "softphone/SoftphoneStyle.h"

#include "cti/AppFolder.h"

#include "SoftphoneStyleSheet.h"

#include <QFile>
#include <QFileInfo>

namespace {

const QString kSheetName = QStringLiteral("trn.qss");

} // namespace

QString SoftphoneStyle::SheetFile()
{
    const QString own = AppFolder::Files() + kSheetName;
    if (QFileInfo(own).isFile())
        return own;
    // A build tree has no installation beside it.
    const QString installed = AppFolder::Data() + kSheetName;
    if (!AppFolder::IsBuildTree() && QFileInfo(installed).isFile())
        return installed;
    return {};
}

QString SoftphoneStyle::Sheet()
{
    QFile file(SheetFile());
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly))
        return QString::fromUtf8(kSoftphoneStyleSheet);
    return QString::fromUtf8(file.readAll());
}

