#pragma once

#include <QString>
#include <QTemporaryDir>

// A fresh folder for one test: TRN_HOME (TARN.INI and the CTI files) and
// XDG_CONFIG_HOME (the autostart entry) point into it while it lives.
class TestHome {
public:
    TestHome();
    ~TestHome();
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    QString File(const QString& name) const { return dir_.filePath(name); }
    QString ReadFile(const QString& name) const;
    void WriteFile(const QString& name, const QString& text) const;

private:
    QTemporaryDir dir_;
};
