#pragma once

#include "softphone/CurrentSettings.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class OrvSIPUserAgentOCX;

// The settings dialog and its store TARN.INI. Its fields are the program's working
// copy of the settings: the main window reads login, proxy, device lists and boxes
// from here whether the dialog is shown or not.
//
// Normal mode ("Apply", "Cancel") edits the settings of a running phone; wizard mode
// ("< Preview", "Next >"/"Finish", "Cancel") walks a first run through the pages.
class frmSettings : public QDialog {
    Q_OBJECT

public:
    enum Page { SipPage = 1, AudioPage = 2, CtiPage = 3, GeneralPage = 4 };

    explicit frmSettings(QWidget* parent = nullptr);

    // TARN.INI in the files folder (AppFolder::Files()).
    static QString SettingsFile();

    // File into dialog. False (the first-run path) when the file is missing or a value
    // is unusable; the values read before the bad one stay in the dialog.
    bool LoadSettings();
    // Dialog into file (owner-only mode), then the snapshot and the autostart entry.
    // False, after telling the user, when the file cannot be written.
    bool SaveSettings();
    void SnapshotSettings();
    void RestoreSettings();
    bool ValidateSettings();

    // Device lists: "Default Device", then the control's devices.
    void FillMicDevices(OrvSIPUserAgentOCX& sipUA);
    void FillSpeakerDevices(OrvSIPUserAgentOCX& sipUA);
    void ClearDeviceLists();
    // The codec, echo, AGC and boost choices into an initialised control.
    void ApplyAudioSettings(OrvSIPUserAgentOCX& sipUA) const;

    // Shows the dialog modally as the first-run wizard on the SIP page; true when it
    // ended with "Finish" (the settings are then saved).
    bool RunFirstRunWizard();
    // Shows the dialog modally in normal mode.
    void RunNormal();

    bool IsWizardMode() const;
    int CurrentPage() const;
    void ShowPage(int page);

    QString Login() const;
    QString Password() const;
    QString Proxy() const;
    QString DisplayName() const;
    QString OutboundProxy() const;
    // List position minus 1: -1 for "Default Device", -2 without a selection.
    int MicDeviceId() const;
    int SpeakerDeviceId() const;
    bool AlwaysOnTop() const;
    bool ConfirmBeforeClose() const;
    bool StartupOnSystray() const;
    bool CtiEnabled() const;
    // "TCP API Communication" chosen.
    bool CtiOverTcp() const;
    QString TcpPort() const;

signals:
    // "Apply" accepted the settings and saved them: the phone restarts with them.
    void SettingsApplied();
    // The wizard's "Cancel": the program is to close.
    void WizardCancelled();

protected:
    void reject() override;

private:
    QWidget* BuildPageButtons();
    QWidget* BuildSipPage();
    QWidget* BuildAudioPage();
    QWidget* BuildCtiPage();
    QWidget* BuildGeneralPage();
    QWidget* BuildButtonRows();
    QCheckBox* AddCheckBox(const QString& objectName, const QString& caption);

    void Apply();
    void Cancel();
    void NextPage();
    void PreviousPage();
    void ShowWizardRow(bool wizard);
    bool Refuse(const QString& message, QLineEdit* field, Page page = SipPage);

    QLineEdit* txtConfigSIPLogin;
    QLineEdit* txtConfigSIPPass;
    QLineEdit* txtConfigSIPNome;
    QLineEdit* txtConfigSIPProxy;
    QLineEdit* txtConfigSIPOutboundProxy;
    QLineEdit* txtConfigSipPort;
    QComboBox* cbxConfigFoneDevice;
    QComboBox* cbxConfigMicDevice;
    QCheckBox* chkAudioEchoCan;
    QCheckBox* chkAudioAEC;
    QCheckBox* chkAudioMicBooster;
    QCheckBox* chkCodecG711u;
    QCheckBox* chkCodecG729;
    QCheckBox* chkCodecG711a;
    QCheckBox* chkCodecGSM;
    QCheckBox* chkCodecILBC;
    QCheckBox* chkEnableCTI;
    QRadioButton* optCTITCP;
    QRadioButton* optCTIXML;
    QLineEdit* txtConfigTCPPort;
    QCheckBox* chkAlwaysOnTop;
    QCheckBox* chkConfirmBeforeClose;
    QCheckBox* chkStartupOnSystray;
    QCheckBox* chkStartUpWithSystem;
    QStackedWidget* pages_;
    QStackedWidget* buttonRows_;
    QPushButton* cmdNext;
    int wizardPage_ = SipPage;
    CurrentSettings current_;
};
