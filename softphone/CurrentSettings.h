#pragma once

#include <QString>

// The last accepted state of the settings dialog, put back when an edit is cancelled.
struct CurrentSettings {
    QString login;
    QString password;
    QString displayName;
    QString proxy;
    QString outboundProxy;
    QString sipPort;
    QString speakerDevice;
    QString micDevice;
    int speakerPosition = -1;
    int micPosition = -1;
    bool startWithSystem = false;
    bool confirmBeforeClose = false;
    bool startOnTray = false;
    bool alwaysOnTop = false;
    bool codecG711u = false;
    bool codecG711a = false;
    bool codecG729 = false;
    bool codecGsm = false;
    bool codecIlbc = false;
    bool echoCancellation = false;
    bool agc = false;
    bool micBooster = false;
    bool ctiEnabled = false;
    bool ctiTcp = false;
    QString tcpPort;
    bool ctiTextFile = false;
};
