#pragma once

#include <QString>

// "Launch at login": the XDG autostart entry TarnSoftphone.desktop in the user's
// autostart folder ($XDG_CONFIG_HOME/autostart, by default ~/.config/autostart).
// It starts this executable with the same TRN_HOME. Failures are ignored: the
// setting is a convenience, and removing an absent entry is normal.
class AutostartEntry {
public:
    static QString Path();
    static void Set(bool launchAtLogin);

private:
    static QString DesktopEntryText();
};
