#include "tests/softphone/TestHome.h"

#include <QDir>
#include <QFile>

TestHome::TestHome() : dir_(QDir::tempPath() + QStringLiteral("/trn-test-XXXXXX"))
{
    qputenv("TRN_HOME", dir_.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", File(QStringLiteral("config")).toUtf8());
}

TestHome::~TestHome()
{
    qunsetenv("TRN_HOME");
    qunsetenv("XDG_CONFIG_HOME");
}

QString TestHome::ReadFile(const QString& name) const
{
    QFile file(File(name));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

void TestHome::WriteFile(const QString& name, const QString& text) const
{
    QFile file(File(name));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(text.toUtf8());
}
