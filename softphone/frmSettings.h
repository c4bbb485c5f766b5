#pragma once

#include "softphone/SettingsTable.h"

#include <QDialog>
#include <QHash>
#include <QSet>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class IniFile;
class OrvSIPUserAgentOCX;

// The settings dialog and its store TARN.INI. Its fields are the program's working
// copy of the settings: the main window reads login, proxy, device lists and boxes
// from here whether the dialog is shown or not. Every field comes from a row of
// SettingsTable, which also drives loading, saving, the snapshot and restoring.
//
// Normal mode ("Apply", "Cancel") edits the settings of a running phone; wizard mode
// ("< Preview", "Next >"/"Finish", "Cancel") walks a first run through the pages.
class frmSettings : public QDialog {
    Q_OBJECT

public:
    using Page = SettingsTable::Page;
    static constexpr Page SipPage = SettingsTable::SipPage;
    static constexpr Page AudioPage = SettingsTable::AudioPage;
    static constexpr Page CtiPage = SettingsTable::CtiPage;
    static constexpr Page GeneralPage = SettingsTable::GeneralPage;

    explicit frmSettings(QWidget* parent = nullptr);

    // TARN.INI in the files folder (AppFolder::Files()).
    static QString SettingsFile();

    // File into dialog. False (the first-run path) when the file is missing or a value
    // is unusable; the values read before the bad one stay in the dialog. A text that
    // is not UTF-8 is read as Windows-1252; a file others may read becomes the owner's
    // alone first.
    bool LoadSettings();
    // Dialog into file (owner-only mode, UTF-8), then the snapshot and the autostart
    // entry. False, after telling the user, when the file cannot be written.
    bool SaveSettings();
    // CurrentSettings: every row's stored text, taken and put back.
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
    // A PEM file of CAs the proxy's TLS certificate may come from, beside the system's.
    QString CaFile() const;
    // The "Call encryption" choice, as SetMediaEncryption takes it: 0 off, 1 offered,
    // 2 required.
    int MediaEncryption() const;
    QString StunServer() const;
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
    void CreateFields();
    QWidget* BuildPageButtons();
    QWidget* BuildSipPage();
    QWidget* BuildAudioPage();
    QWidget* BuildCtiPage();
    QWidget* BuildGeneralPage();
    QWidget* BuildButtonRows();
    QWidget* NewPage(const QString& objectName, const QString& title, QFormLayout*& form);
    // The field of that name, marked as placed on its page.
    QWidget* Place(const char* field);
    void AddRow(QFormLayout* form, const char* field);
    // The rows of the page that no page builder placed, at its end.
    void PlaceTheRest(Page page, QFormLayout* form);

    QString StoredText(const SettingsTable::Row& row) const;
    bool LoadField(const SettingsTable::Row& row, const std::string& value);
    void RestoreField(const SettingsTable::Row& row, const QString& stored);
    void PreferTcpWhenBothOptions(const IniFile& ini);

    QLineEdit* Edit(const char* field) const;
    QCheckBox* Box(const char* field) const;
    QComboBox* List(const char* field) const;
    QRadioButton* Option(const char* field) const;

    void Apply();
    void Cancel();
    void NextPage();
    void PreviousPage();
    void ShowWizardRow(bool wizard);
    bool Refuse(const QString& message, QLineEdit* field, Page page = SipPage);

    QHash<QString, QWidget*> fields_;
    QSet<QString> placed_;
    QStackedWidget* pages_;
    QStackedWidget* buttonRows_;
    QPushButton* cmdNext;
    int wizardPage_ = SipPage;
    QStringList current_;
};
