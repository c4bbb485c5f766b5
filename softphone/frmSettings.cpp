#include "softphone/frmSettings.h"

#include "platform/IniFile.h"
#include "cti/AppFolder.h"
#include "softphone/AutostartEntry.h"
#include "softphone/MessageBoxes.h"
#include "control/OrvSIPUserAgentOCX.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <optional>

namespace {

const QString kDefaultDevice = QStringLiteral("Default Device");
const QString kDefaultSipPort = QStringLiteral("5060");
const QString kDefaultTcpPort = QStringLiteral("2500");
const QString kNext = QStringLiteral("Next >");
const QString kNextAfterPreview = QStringLiteral("Next");
const QString kFinish = QStringLiteral("Finish");

std::string Std(const QString& text)
{
    return text.toStdString();
}

QString CheckValue(const QCheckBox* box)
{
    return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

QString BooleanText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

std::optional<int> ToInteger(const std::string& text)
{
    bool ok = false;
    const int value = QString::fromStdString(text).trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// 0 and 1 are the two states; 2 (a greyed box elsewhere) counts as ticked.
bool LoadCheck(const std::string& text, QCheckBox* box)
{
    const auto value = ToInteger(text);
    if (!value || *value < 0 || *value > 2)
        return false;
    box->setChecked(*value != 0);
    return true;
}

bool LoadBoolean(const std::string& text, QRadioButton* option)
{
    const QString value = QString::fromStdString(text).trimmed();
    if (value.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0) {
        option->setChecked(true);
        return true;
    }
    if (value.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0) {
        option->setChecked(false);
        return true;
    }
    const auto number = ToInteger(text);
    if (number)
        option->setChecked(*number != 0);
    return number.has_value();
}

bool LoadPosition(const std::string& text, QComboBox* list)
{
    const auto position = ToInteger(text);
    if (!position || *position < -1 || *position >= list->count())
        return false;
    list->setCurrentIndex(*position);
    return true;
}

QLineEdit* NewLineEdit(const QString& objectName)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(objectName);
    return edit;
}

QComboBox* NewDeviceList(const QString& objectName)
{
    auto* list = new QComboBox;
    list->setObjectName(objectName);
    list->setMinimumContentsLength(24);
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return list;
}

QPushButton* NewButton(const QString& objectName, const QString& caption)
{
    auto* button = new QPushButton(caption);
    button->setObjectName(objectName);
    button->setAutoDefault(false);
    return button;
}

// Two option buttons of which at most one is set, also when code sets them.
void MakeExclusive(QRadioButton* a, QRadioButton* b)
{
    a->setAutoExclusive(false);
    b->setAutoExclusive(false);
    QObject::connect(a, &QRadioButton::toggled, b, [b](bool on) {
        if (on)
            b->setChecked(false);
    });
    QObject::connect(b, &QRadioButton::toggled, a, [a](bool on) {
        if (on)
            a->setChecked(false);
    });
}

bool IsTcpPort(const QString& text)
{
    bool isNumber = false;
    const uint port = text.trimmed().toUInt(&isNumber);
    return isNumber && port >= 1 && port <= 65535;
}

} // namespace

frmSettings::frmSettings(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Settings"));
    pages_ = new QStackedWidget;
    pages_->setObjectName(QStringLiteral("pages"));
    pages_->addWidget(BuildSipPage());
    pages_->addWidget(BuildAudioPage());
    pages_->addWidget(BuildCtiPage());
    pages_->addWidget(BuildGeneralPage());

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuildPageButtons());
    layout->addWidget(pages_, 1);
    layout->addWidget(BuildButtonRows());
    layout->setSizeConstraint(QLayout::SetFixedSize);

    ShowPage(SipPage);
    ShowWizardRow(false);
    SnapshotSettings();
}

QWidget* frmSettings::BuildPageButtons()
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    const QString names[] = {QStringLiteral("cmdPageSip"), QStringLiteral("cmdPageAudio"),
                             QStringLiteral("cmdPageCTI"), QStringLiteral("cmdPageGeneral")};
    const QString captions[] = {QStringLiteral("Sip"), QStringLiteral("Audio"), QStringLiteral("CTI"),
                                QStringLiteral("General")};
    for (int page = SipPage; page <= GeneralPage; ++page) {
        QPushButton* button = NewButton(names[page - 1], captions[page - 1]);
        button->setCheckable(true);
        button->setAutoExclusive(true);
        button->setChecked(page == SipPage);
        connect(button, &QPushButton::clicked, this, [this, page] { ShowPage(page); });
        connect(pages_, &QStackedWidget::currentChanged, button,
                [button, page](int index) { button->setChecked(index == page - 1); });
        layout->addWidget(button);
    }
    return row;
}

QWidget* frmSettings::BuildSipPage()
{
    auto* page = new QGroupBox(QStringLiteral("SIP"));
    page->setObjectName(QStringLiteral("frameSip"));
    txtConfigSIPLogin = NewLineEdit(QStringLiteral("txtConfigSIPLogin"));
    txtConfigSIPPass = NewLineEdit(QStringLiteral("txtConfigSIPPass"));
    txtConfigSIPPass->setEchoMode(QLineEdit::Password);
    txtConfigSIPNome = NewLineEdit(QStringLiteral("txtConfigSIPNome"));
    txtConfigSIPProxy = NewLineEdit(QStringLiteral("txtConfigSIPProxy"));
    txtConfigSIPOutboundProxy = NewLineEdit(QStringLiteral("txtConfigSIPOutboundProxy"));
    txtConfigSipPort = NewLineEdit(QStringLiteral("txtConfigSipPort"));
    txtConfigSipPort->setText(kDefaultSipPort);
    auto* form = new QFormLayout(page);
    form->addRow(QStringLiteral("Login"), txtConfigSIPLogin);
    form->addRow(QStringLiteral("Password"), txtConfigSIPPass);
    form->addRow(QStringLiteral("Name"), txtConfigSIPNome);
    form->addRow(QStringLiteral("Sip Proxy"), txtConfigSIPProxy);
    form->addRow(QStringLiteral("OutBound Proxy"), txtConfigSIPOutboundProxy);
    form->addRow(QStringLiteral("Sip Port"), txtConfigSipPort);
    return page;
}

QCheckBox* frmSettings::AddCheckBox(const QString& objectName, const QString& caption)
{
    auto* box = new QCheckBox(caption);
    box->setObjectName(objectName);
    return box;
}

QWidget* frmSettings::BuildAudioPage()
{
    auto* page = new QGroupBox(QStringLiteral("Audio"));
    page->setObjectName(QStringLiteral("frameAudio"));
    cbxConfigFoneDevice = NewDeviceList(QStringLiteral("cbxConfigFoneDevice"));
    cbxConfigMicDevice = NewDeviceList(QStringLiteral("cbxConfigMicDevice"));
    chkCodecG711u = AddCheckBox(QStringLiteral("chkCodecG711u"), QStringLiteral("G-711 U-LAW"));
    chkCodecG729 = AddCheckBox(QStringLiteral("chkCodecG729"), QStringLiteral("G-729"));
    chkCodecG711a = AddCheckBox(QStringLiteral("chkCodecG711a"), QStringLiteral("G-711 A-LAW"));
    chkCodecGSM = AddCheckBox(QStringLiteral("chkCodecGSM"), QStringLiteral("GSM 6.10"));
    chkCodecILBC = AddCheckBox(QStringLiteral("chkCodecILBC"), QStringLiteral("iLBC"));
    chkAudioEchoCan = AddCheckBox(QStringLiteral("chkAudioEchoCan"), QStringLiteral("Echo Cancelation"));
    chkAudioAEC = AddCheckBox(QStringLiteral("chkAudioAEC"), QStringLiteral("AEC"));
    chkAudioMicBooster = AddCheckBox(QStringLiteral("chkAudioMicBooster"), QStringLiteral("Mic Booster"));

    auto* codecs = new QGroupBox(QStringLiteral("Codecs"));
    auto* codecGrid = new QGridLayout(codecs);
    codecGrid->addWidget(chkCodecG711u, 0, 0);
    codecGrid->addWidget(chkCodecG711a, 0, 1);
    codecGrid->addWidget(chkCodecGSM, 1, 0);
    codecGrid->addWidget(chkCodecG729, 1, 1);
    codecGrid->addWidget(chkCodecILBC, 2, 0);

    auto* processing = new QHBoxLayout;
    processing->addWidget(chkAudioEchoCan);
    processing->addWidget(chkAudioAEC);
    processing->addWidget(chkAudioMicBooster);

    auto* form = new QFormLayout(page);
    form->addRow(QStringLiteral("Output"), cbxConfigFoneDevice);
    form->addRow(QStringLiteral("Input"), cbxConfigMicDevice);
    form->addRow(codecs);
    form->addRow(processing);
    return page;
}

QWidget* frmSettings::BuildCtiPage()
{
    auto* page = new QGroupBox(QStringLiteral("CTI"));
    page->setObjectName(QStringLiteral("frameCTI"));
    chkEnableCTI = AddCheckBox(QStringLiteral("chkEnableCTI"), QStringLiteral("Enable CTI"));
    optCTITCP = new QRadioButton(QStringLiteral("TCP API Communication"));
    optCTITCP->setObjectName(QStringLiteral("optCTITCP"));
    optCTIXML = new QRadioButton(QStringLiteral("Text File API Communication"));
    optCTIXML->setObjectName(QStringLiteral("optCTIXML"));
    MakeExclusive(optCTITCP, optCTIXML);
    txtConfigTCPPort = NewLineEdit(QStringLiteral("txtConfigTCPPort"));
    txtConfigTCPPort->setText(kDefaultTcpPort);
    auto* form = new QFormLayout(page);
    form->addRow(chkEnableCTI);
    form->addRow(optCTITCP);
    form->addRow(optCTIXML);
    form->addRow(QStringLiteral("Port"), txtConfigTCPPort);
    return page;
}

QWidget* frmSettings::BuildGeneralPage()
{
    auto* page = new QGroupBox(QStringLiteral("General"));
    page->setObjectName(QStringLiteral("frameGeneral"));
    chkAlwaysOnTop = AddCheckBox(QStringLiteral("chkAlwaysOnTop"), QStringLiteral("Always on top"));
    chkConfirmBeforeClose = AddCheckBox(QStringLiteral("chkConfirmBeforeClose"),
                                        QStringLiteral("Confirm before closing application"));
    chkStartupOnSystray = AddCheckBox(QStringLiteral("chkStartupOnSystray"), QStringLiteral("Startup on systray"));
    chkStartUpWithSystem = AddCheckBox(QStringLiteral("chkStartUpWithSystem"), QStringLiteral("Launch at login"));
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(chkAlwaysOnTop);
    layout->addWidget(chkConfirmBeforeClose);
    layout->addWidget(chkStartupOnSystray);
    layout->addWidget(chkStartUpWithSystem);
    layout->addStretch();
    return page;
}

QWidget* frmSettings::BuildButtonRows()
{
    auto* normal = new QWidget;
    normal->setObjectName(QStringLiteral("frameControl"));
    auto* normalLayout = new QHBoxLayout(normal);
    normalLayout->setContentsMargins(0, 0, 0, 0);
    QPushButton* apply = NewButton(QStringLiteral("cmdApply"), QStringLiteral("Apply"));
    QPushButton* cancel = NewButton(QStringLiteral("cmdCancel"), QStringLiteral("Cancel"));
    normalLayout->addStretch();
    normalLayout->addWidget(apply);
    normalLayout->addWidget(cancel);
    connect(apply, &QPushButton::clicked, this, &frmSettings::Apply);
    connect(cancel, &QPushButton::clicked, this, &frmSettings::Cancel);

    auto* wizard = new QWidget;
    wizard->setObjectName(QStringLiteral("frmWizardControl"));
    auto* wizardLayout = new QHBoxLayout(wizard);
    wizardLayout->setContentsMargins(0, 0, 0, 0);
    QPushButton* preview = NewButton(QStringLiteral("cmdPreview"), QStringLiteral("< Preview"));
    cmdNext = NewButton(QStringLiteral("cmdNext"), kNext);
    QPushButton* wizardCancel = NewButton(QStringLiteral("cmdWizardCancel"), QStringLiteral("Cancel"));
    wizardLayout->addStretch();
    wizardLayout->addWidget(preview);
    wizardLayout->addWidget(cmdNext);
    wizardLayout->addWidget(wizardCancel);
    connect(preview, &QPushButton::clicked, this, &frmSettings::PreviousPage);
    connect(cmdNext, &QPushButton::clicked, this, &frmSettings::NextPage);
    connect(wizardCancel, &QPushButton::clicked, this, &frmSettings::WizardCancelled);

    buttonRows_ = new QStackedWidget;
    buttonRows_->addWidget(normal);
    buttonRows_->addWidget(wizard);
    buttonRows_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    return buttonRows_;
}

QString frmSettings::SettingsFile()
{
    return AppFolder::Files() + QStringLiteral("TARN.INI");
}

namespace {

struct CheckKey {
    const char* section;
    const char* key;
    QCheckBox* frmSettings::*box;
};

} // namespace

bool frmSettings::LoadSettings()
{
    ShowWizardRow(false);
    const QString path = SettingsFile();
    if (QFile(path).size() == 0)
        return false; // nothing to load: the dialog keeps its first-run values
    const IniFile ini(Std(path));
    auto read = [&ini](const char* section, const char* key) { return ini.Read(section, key); };
    auto text = [&read](const char* key) { return QString::fromStdString(read("SIP", key)); };

    txtConfigSIPLogin->setText(text("SIPLogin"));
    txtConfigSIPPass->setText(text("SIPPass"));
    txtConfigSIPProxy->setText(text("SIPProxy"));
    txtConfigSIPNome->setText(text("SIPNome"));
    txtConfigSipPort->setText(text("SIPPort"));
    txtConfigSIPOutboundProxy->setText(text("SIPOutboundProxy"));
    if (!LoadPosition(read("AUDIO", "AudioFoneDeviceIndex"), cbxConfigFoneDevice) ||
        !LoadPosition(read("AUDIO", "AudioMicDeviceIndex"), cbxConfigMicDevice))
        return false;
    const CheckKey checks[] = {
        {"GENERAL", "AwaysOnTop", &frmSettings::chkAlwaysOnTop},
        {"GENERAL", "ConfirmBeforeClose", &frmSettings::chkConfirmBeforeClose},
        {"GENERAL", "StarupOnSystray", &frmSettings::chkStartupOnSystray},
        {"GENERAL", "StartUpWithWindows", &frmSettings::chkStartUpWithSystem},
        {"AUDIO", "EchoCancel", &frmSettings::chkAudioEchoCan},
        {"AUDIO", "AEC", &frmSettings::chkAudioAEC},
        {"AUDIO", "MicBooster", &frmSettings::chkAudioMicBooster},
        {"CODECS", "CodecG711u", &frmSettings::chkCodecG711u},
        {"CODECS", "CodecG729", &frmSettings::chkCodecG729},
        {"CODECS", "CodecG711a", &frmSettings::chkCodecG711a},
        {"CODECS", "CodecGSM", &frmSettings::chkCodecGSM},
        {"CODECS", "CodecILBC", &frmSettings::chkCodecILBC},
        {"CTI", "EnableCTI", &frmSettings::chkEnableCTI},
    };
    for (const CheckKey& check : checks) {
        if (!LoadCheck(read(check.section, check.key), this->*check.box))
            return false;
    }
    if (!LoadBoolean(read("CTI", "EnableCTITCP"), optCTITCP) || !LoadBoolean(read("CTI", "EnableCTIXML"), optCTIXML))
        return false;
    txtConfigTCPPort->setText(QString::fromStdString(read("CTI", "TCPPort")));
    SnapshotSettings();
    return true;
}

bool frmSettings::SaveSettings()
{
    QDir().mkpath(AppFolder::Files()); // a TRN_HOME named for the first time
    IniFile ini(Std(SettingsFile()), IniFile::Access::OwnerOnly);
    std::vector<IniFile::Entry> entries = {
        {"SIP", "SIPLogin", Std(txtConfigSIPLogin->text())},
        {"SIP", "SIPPass", Std(txtConfigSIPPass->text())},
        {"SIP", "SIPProxy", Std(txtConfigSIPProxy->text())},
        {"SIP", "SIPNome", Std(txtConfigSIPNome->text())},
        {"SIP", "SIPPort", Std(txtConfigSipPort->text())},
        {"SIP", "SIPOutboundProxy", Std(txtConfigSIPOutboundProxy->text())},
        {"AUDIO", "AudioFoneDevice", Std(cbxConfigFoneDevice->currentText())},
        {"AUDIO", "AudioMicDevice", Std(cbxConfigMicDevice->currentText())},
        {"AUDIO", "AudioFoneDeviceIndex", std::to_string(cbxConfigFoneDevice->currentIndex())},
        {"AUDIO", "AudioMicDeviceIndex", std::to_string(cbxConfigMicDevice->currentIndex())},
        {"GENERAL", "AwaysOnTop", Std(CheckValue(chkAlwaysOnTop))},
        {"GENERAL", "ConfirmBeforeClose", Std(CheckValue(chkConfirmBeforeClose))},
        {"GENERAL", "StarupOnSystray", Std(CheckValue(chkStartupOnSystray))},
        {"GENERAL", "StartUpWithWindows", Std(CheckValue(chkStartUpWithSystem))},
        {"AUDIO", "EchoCancel", Std(CheckValue(chkAudioEchoCan))},
        {"AUDIO", "AEC", Std(CheckValue(chkAudioAEC))},
        {"AUDIO", "MicBooster", Std(CheckValue(chkAudioMicBooster))},
        {"CODECS", "CodecG711u", Std(CheckValue(chkCodecG711u))},
        {"CODECS", "CodecG729", Std(CheckValue(chkCodecG729))},
        {"CODECS", "CodecG711a", Std(CheckValue(chkCodecG711a))},
        {"CODECS", "CodecGSM", Std(CheckValue(chkCodecGSM))},
        {"CODECS", "CodecILBC", Std(CheckValue(chkCodecILBC))},
        {"CTI", "EnableCTITCP", Std(BooleanText(optCTITCP->isChecked()))},
        {"CTI", "EnableCTIXML", Std(BooleanText(optCTIXML->isChecked()))},
        {"CTI", "EnableCTI", Std(CheckValue(chkEnableCTI))},
        {"CTI", "TCPPort", Std(txtConfigTCPPort->text())},
    };
    if (!ini.Write(entries)) {
        // The dialog stays open with the user's edits, which a reload would throw away.
        MessageBoxes::Current().Inform(this, QStringLiteral("The settings could not be saved in %1.").arg(SettingsFile()),
                                       MessageBoxes::Icon::Information);
        return false;
    }
    SnapshotSettings();
    AutostartEntry::Set(chkStartUpWithSystem->isChecked());
    return true;
}

void frmSettings::SnapshotSettings()
{
    current_ = CurrentSettings{
        txtConfigSIPLogin->text(),
        txtConfigSIPPass->text(),
        txtConfigSIPNome->text(),
        txtConfigSIPProxy->text(),
        txtConfigSIPOutboundProxy->text(),
        txtConfigSipPort->text(),
        cbxConfigFoneDevice->currentText(),
        cbxConfigMicDevice->currentText(),
        cbxConfigFoneDevice->currentIndex(),
        cbxConfigMicDevice->currentIndex(),
        chkStartUpWithSystem->isChecked(),
        chkConfirmBeforeClose->isChecked(),
        chkStartupOnSystray->isChecked(),
        chkAlwaysOnTop->isChecked(),
        chkCodecG711u->isChecked(),
        chkCodecG711a->isChecked(),
        chkCodecG729->isChecked(),
        chkCodecGSM->isChecked(),
        chkCodecILBC->isChecked(),
        chkAudioEchoCan->isChecked(),
        chkAudioAEC->isChecked(),
        chkAudioMicBooster->isChecked(),
        chkEnableCTI->isChecked(),
        optCTITCP->isChecked(),
        txtConfigTCPPort->text(),
        optCTIXML->isChecked(),
    };
}

void frmSettings::RestoreSettings()
{
    txtConfigSIPLogin->setText(current_.login);
    txtConfigSIPPass->setText(current_.password);
    txtConfigSIPNome->setText(current_.displayName);
    txtConfigSIPProxy->setText(current_.proxy);
    txtConfigSIPOutboundProxy->setText(current_.outboundProxy);
    txtConfigSipPort->setText(current_.sipPort);
    cbxConfigFoneDevice->setCurrentIndex(current_.speakerPosition < cbxConfigFoneDevice->count() ? current_.speakerPosition : -1);
    cbxConfigMicDevice->setCurrentIndex(current_.micPosition < cbxConfigMicDevice->count() ? current_.micPosition : -1);
    chkStartUpWithSystem->setChecked(current_.startWithSystem);
    chkConfirmBeforeClose->setChecked(current_.confirmBeforeClose);
    chkStartupOnSystray->setChecked(current_.startOnTray);
    chkAlwaysOnTop->setChecked(current_.alwaysOnTop);
    chkCodecG711u->setChecked(current_.codecG711u);
    chkCodecG711a->setChecked(current_.codecG711a);
    chkCodecG729->setChecked(current_.codecG729);
    chkCodecGSM->setChecked(current_.codecGsm);
    chkCodecILBC->setChecked(current_.codecIlbc);
    chkAudioEchoCan->setChecked(current_.echoCancellation);
    chkAudioAEC->setChecked(current_.agc);
    chkAudioMicBooster->setChecked(current_.micBooster);
    chkEnableCTI->setChecked(current_.ctiEnabled);
    optCTITCP->setChecked(current_.ctiTcp);
    txtConfigTCPPort->setText(current_.tcpPort);
    optCTIXML->setChecked(current_.ctiTextFile);
}

bool frmSettings::Refuse(const QString& message, QLineEdit* field, Page page)
{
    MessageBoxes::Current().Inform(this, message, MessageBoxes::Icon::Information);
    ShowPage(page);
    field->setFocus();
    return false;
}

bool frmSettings::ValidateSettings()
{
    if (txtConfigSIPLogin->text().trimmed().isEmpty())
        return Refuse(QStringLiteral("The SIP Login must be informed"), txtConfigSIPLogin);
    if (txtConfigSIPProxy->text().trimmed().isEmpty())
        return Refuse(QStringLiteral("The SIP Proxy must be informed"), txtConfigSIPProxy);
    const QString port = txtConfigSipPort->text();
    if (port.trimmed().isEmpty())
        return Refuse(QStringLiteral("The SIP Port must be informed"), txtConfigSipPort);
    for (const QChar c : port) {
        if (c < '0' || c > '9')
            return Refuse(QStringLiteral("The SIP Port is not valid"), txtConfigSipPort);
    }
    // Only a socket that is to listen needs a port it can listen on.
    if (chkEnableCTI->isChecked() && optCTITCP->isChecked() && !IsTcpPort(txtConfigTCPPort->text()))
        return Refuse(QStringLiteral("The CTI TCP Port is not valid"), txtConfigTCPPort, CtiPage);
    return true;
}

void frmSettings::FillMicDevices(OrvSIPUserAgentOCX& sipUA)
{
    cbxConfigMicDevice->clear();
    cbxConfigMicDevice->addItem(kDefaultDevice);
    const int total = sipUA.GetAudioInDevTotal();
    for (int id = 0; id < total; ++id)
        cbxConfigMicDevice->addItem(QString::fromStdString(sipUA.GetAudioInDevName(id)));
    cbxConfigMicDevice->setCurrentIndex(-1);
}

void frmSettings::FillSpeakerDevices(OrvSIPUserAgentOCX& sipUA)
{
    cbxConfigFoneDevice->clear();
    cbxConfigFoneDevice->addItem(kDefaultDevice);
    const int total = sipUA.GetAudioOutDevTotal();
    for (int id = 0; id < total; ++id)
        cbxConfigFoneDevice->addItem(QString::fromStdString(sipUA.GetAudioOutDevName(id)));
    cbxConfigFoneDevice->setCurrentIndex(-1);
}

void frmSettings::ApplyAudioSettings(OrvSIPUserAgentOCX& sipUA) const
{
    // Each call stands alone: a refused one does not stop the others.
    constexpr int kAgcLevel = 8000;
    if (chkAudioAEC->isChecked())
        sipUA.EnableAGC(kAgcLevel);
    else
        sipUA.DisableAGC();
    if (chkAudioEchoCan->isChecked())
        sipUA.EnableEchoNoiseCancellation();
    else
        sipUA.DisableEchoNoiseCancellation();
    if (chkAudioMicBooster->isChecked())
        sipUA.EnableMicBoost();
    else
        sipUA.DisableMicBoost();
    const std::pair<const QCheckBox*, int> codecs[] = {
        {chkCodecG711u, 3}, {chkCodecG711a, 2}, {chkCodecGSM, 0}, {chkCodecILBC, 1}, {chkCodecG729, 4}};
    for (const auto& [box, codec] : codecs) {
        if (box->isChecked())
            sipUA.SelectVoiceCodec(codec);
        else
            sipUA.DeselectVoiceCodec(codec);
    }
}

void frmSettings::ClearDeviceLists()
{
    cbxConfigFoneDevice->clear();
    cbxConfigMicDevice->clear();
}

bool frmSettings::RunFirstRunWizard()
{
    wizardPage_ = SipPage;
    ShowPage(SipPage);
    cmdNext->setText(kNext);
    ShowWizardRow(true);
    return exec() == QDialog::Accepted;
}

void frmSettings::RunNormal()
{
    ShowWizardRow(false);
    exec();
}

bool frmSettings::IsWizardMode() const
{
    return buttonRows_->currentIndex() == 1;
}

int frmSettings::CurrentPage() const
{
    return pages_->currentIndex() + 1;
}

void frmSettings::ShowPage(int page)
{
    pages_->setCurrentIndex(page - 1);
}

void frmSettings::ShowWizardRow(bool wizard)
{
    buttonRows_->setCurrentIndex(wizard ? 1 : 0);
}

void frmSettings::Apply()
{
    if (!ValidateSettings() || !SaveSettings())
        return;
    emit SettingsApplied();
    accept();
}

void frmSettings::Cancel()
{
    RestoreSettings();
    QDialog::reject();
}

void frmSettings::reject()
{
    // The window's close button and Esc act as the visible row's "Cancel".
    if (IsWizardMode())
        emit WizardCancelled();
    else
        Cancel();
}

void frmSettings::NextPage()
{
    if (wizardPage_ < GeneralPage) {
        ++wizardPage_;
        ShowPage(wizardPage_);
    } else if (ValidateSettings() && SaveSettings()) {
        accept();
    }
    cmdNext->setText(wizardPage_ == GeneralPage ? kFinish : kNext);
}

void frmSettings::PreviousPage()
{
    if (wizardPage_ <= SipPage)
        return;
    --wizardPage_;
    ShowPage(wizardPage_);
    cmdNext->setText(kNextAfterPreview);
}

QString frmSettings::Login() const
{
    return txtConfigSIPLogin->text();
}

QString frmSettings::Password() const
{
    return txtConfigSIPPass->text();
}

QString frmSettings::Proxy() const
{
    return txtConfigSIPProxy->text();
}

QString frmSettings::DisplayName() const
{
    return txtConfigSIPNome->text();
}

QString frmSettings::OutboundProxy() const
{
    return txtConfigSIPOutboundProxy->text();
}

int frmSettings::MicDeviceId() const
{
    return cbxConfigMicDevice->currentIndex() - 1;
}

int frmSettings::SpeakerDeviceId() const
{
    return cbxConfigFoneDevice->currentIndex() - 1;
}

bool frmSettings::AlwaysOnTop() const
{
    return chkAlwaysOnTop->isChecked();
}

bool frmSettings::ConfirmBeforeClose() const
{
    return chkConfirmBeforeClose->isChecked();
}

bool frmSettings::StartupOnSystray() const
{
    return chkStartupOnSystray->isChecked();
}

bool frmSettings::CtiEnabled() const
{
    return chkEnableCTI->isChecked();
}

bool frmSettings::CtiOverTcp() const
{
    return optCTITCP->isChecked();
}

QString frmSettings::TcpPort() const
{
    return txtConfigTCPPort->text();
}
