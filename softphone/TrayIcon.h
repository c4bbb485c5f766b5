#pragma once

#include <QObject>

class QIcon;
class QMenu;
class QSystemTrayIcon;

// The notification-area icon, tip "TARN Softphone". The right button opens the menu
// "Show", "Settings", "Exit"; the left button does nothing.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    TrayIcon(const QIcon& icon, QObject* parent);
    ~TrayIcon() override;

    // Whether the desktop has a notification area to minimise into.
    static bool IsAvailable();
    // Adds the icon; adding it while present changes nothing.
    void AddTrayIcon();
    void DeleteTrayIcon();
    bool IsShown() const;
    QMenu* Menu() const { return mnuBase; }

signals:
    void ShowRequested();
    void SettingsRequested();
    void ExitRequested();

private:
    QMenu* mnuBase;
    QSystemTrayIcon* icon_;
};
