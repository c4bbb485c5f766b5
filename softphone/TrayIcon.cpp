#include "softphone/TrayIcon.h"

#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

TrayIcon::TrayIcon(const QIcon& icon, QObject* parent) : QObject(parent), mnuBase(new QMenu)
{
    mnuBase->setObjectName(QStringLiteral("mnuBase"));
    connect(mnuBase->addAction(QStringLiteral("Show")), &QAction::triggered, this, &TrayIcon::ShowRequested);
    connect(mnuBase->addAction(QStringLiteral("Settings")), &QAction::triggered, this, &TrayIcon::SettingsRequested);
    connect(mnuBase->addAction(QStringLiteral("Exit")), &QAction::triggered, this, &TrayIcon::ExitRequested);
    icon_ = new QSystemTrayIcon(icon, this);
    icon_->setToolTip(QStringLiteral("TARN Softphone"));
    icon_->setContextMenu(mnuBase);
}

TrayIcon::~TrayIcon()
{
    DeleteTrayIcon();
    delete mnuBase;
}

bool TrayIcon::IsAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::AddTrayIcon()
{
    icon_->show();
}

void TrayIcon::DeleteTrayIcon()
{
    icon_->hide();
}

bool TrayIcon::IsShown() const
{
    return icon_->isVisible();
}
