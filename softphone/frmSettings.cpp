#include "softphone/frmSettings.h"

#include "control/OrvSIPUserAgentOCX.h"
#include "cti/AppFolder.h"
#include "platform/IniFile.h"
#include "platform/LegacyText.h"
#include "platform/PrivateFolder.h"
#include "platform/RegularFile.h"
#include "softphone/AutostartEntry.h"
#include "softphone/MessageBoxes.h"

#include <QCheckBox>
#include <QComboBox>
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

using Kind = SettingsTable::Kind;
using Row = SettingsTable::Row;

const QString kDefaultDevice = QStringLiteral("Default Device");
const QString kNext = QStringLiteral("Next >");
const QString kNextAfterPreview = QStringLiteral("Next");
const QString kFinish = QStringLiteral("Finish");

std::string Std(const QString& text)
{
    return text.toStdString();
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

std::optional<bool> ToBoolean(const std::string& text)
{
    const QString value = QString::fromStdString(text).trimmed();
    if (value.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (value.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
        return false;
    const auto number = ToInteger(text);
    return number ? std::optional<bool>(*number != 0) : std::nullopt;
}

// A file written before the setting existed lacks it: the initial choice then.
bool LoadChoice(const std::string& text, QComboBox* list, const char* initial)
{
    const auto position = ToInteger(text.empty() ? initial : text);
    if (!position || *position < 0 || *position >= list->count())
        return false;
    list->setCurrentIndex(*position);
    return true;
}

bool LoadPosition(const std::string& text, QComboBox* list)
{
    const auto position = ToInteger(text);
    if (!position || *position < -1 || *position >= list->count())
        return false;
    list->setCurrentIndex(*position);
    return true;
}

QComboBox* NewDeviceList()
{
    auto* list = new QComboBox;
    list->setMinimumContentsLength(24);
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return list;
}

QWidget* NewField(const Row& row)
{
    const QString caption = QString::fromLatin1(row.caption);
    switch (row.kind) {
    case Kind::Text:
        return new QLineEdit;
    case Kind::Secret: {
        auto* edit = new QLineEdit;
        edit->setEchoMode(QLineEdit::Password);
        return edit;
    }
    case Kind::Position:
    case Kind::DeviceName:
        return NewDeviceList();
    case Kind::Check:
        return new QCheckBox(caption);
    case Kind::Option:
        return new QRadioButton(caption);
    case Kind::Choice: {
        auto* list = new QComboBox;
        list->addItems(QString::fromLatin1(row.choices).split('|'));
        return list;
    }
    }
    return nullptr;
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

const Row* RowOf(const char* field)
{
    for (const Row& row : SettingsTable::Rows()) {
        if (qstrcmp(row.field, field) == 0)
            return &row;
    }
    return nullptr;
}

} // namespace

frmSettings::frmSettings(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Settings"));
    CreateFields();
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

void frmSettings::CreateFields()
{
    for (const Row& row : SettingsTable::Rows()) {
        const QString name = QString::fromLatin1(row.field);
        if (fields_.contains(name))
            continue; // a device list serves its position and its name
        QWidget* field = NewField(row);
        field->setObjectName(name);
        fields_.insert(name, field);
    }
    for (const Row& row : SettingsTable::Rows())
        RestoreField(row, QString::fromLatin1(row.initial));
    MakeExclusive(Option("optCTITCP"), Option("optCTIXML"));
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

QWidget* frmSettings::NewPage(const QString& objectName, const QString& title, QFormLayout*& form)
{
    auto* page = new QGroupBox(title);
    page->setObjectName(objectName);
    form = new QFormLayout(page);
    return page;
}

QWidget* frmSettings::Place(const char* field)
{
    placed_.insert(QString::fromLatin1(field));
    return fields_.value(QString::fromLatin1(field));
}

// A text field or list under its caption; a box or option carries its own.
void frmSettings::AddRow(QFormLayout* form, const char* field)
{
    const Row* row = RowOf(field);
    QWidget* widget = Place(field);
    if (row->kind == Kind::Check || row->kind == Kind::Option)
        form->addRow(widget);
    else
        form->addRow(QString::fromLatin1(row->caption), widget);
}

void frmSettings::PlaceTheRest(Page page, QFormLayout* form)
{
    for (const Row& row : SettingsTable::Rows()) {
        if (row.page == page && !placed_.contains(QString::fromLatin1(row.field)))
            AddRow(form, row.field);
    }
}

QWidget* frmSettings::BuildSipPage()
{
    QFormLayout* form = nullptr;
    QWidget* page = NewPage(QStringLiteral("frameSip"), QStringLiteral("SIP"), form);
    for (const char* field : {"txtConfigSIPLogin", "txtConfigSIPPass", "txtConfigSIPNome", "txtConfigSIPProxy",
                              "txtConfigSIPOutboundProxy", "txtConfigCAFile", "cbxConfigMediaEncryption",
                              "txtConfigSipPort"})
        AddRow(form, field);
    PlaceTheRest(SipPage, form);
    return page;
}

QWidget* frmSettings::BuildAudioPage()
{
    QFormLayout* form = nullptr;
    QWidget* page = NewPage(QStringLiteral("frameAudio"), QStringLiteral("Audio"), form);
    AddRow(form, "cbxConfigFoneDevice");
    AddRow(form, "cbxConfigMicDevice");

    auto* codecs = new QGroupBox(QStringLiteral("Codecs"));
    auto* codecGrid = new QGridLayout(codecs);
    codecGrid->addWidget(Place("chkCodecG711u"), 0, 0);
    codecGrid->addWidget(Place("chkCodecG711a"), 0, 1);
    codecGrid->addWidget(Place("chkCodecGSM"), 1, 0);
    codecGrid->addWidget(Place("chkCodecG729"), 1, 1);
    codecGrid->addWidget(Place("chkCodecILBC"), 2, 0);
    form->addRow(codecs);

    auto* processing = new QHBoxLayout;
    for (const char* field : {"chkAudioEchoCan", "chkAudioAEC", "chkAudioMicBooster"})
        processing->addWidget(Place(field));
    form->addRow(processing);
    PlaceTheRest(AudioPage, form);
    return page;
}

QWidget* frmSettings::BuildCtiPage()
{
    QFormLayout* form = nullptr;
    QWidget* page = NewPage(QStringLiteral("frameCTI"), QStringLiteral("CTI"), form);
    for (const char* field : {"chkEnableCTI", "optCTITCP", "optCTIXML", "txtConfigTCPPort"})
        AddRow(form, field);
    PlaceTheRest(CtiPage, form);
    return page;
}

QWidget* frmSettings::BuildGeneralPage()
{
    QFormLayout* form = nullptr;
    QWidget* page = NewPage(QStringLiteral("frameGeneral"), QStringLiteral("General"), form);
    PlaceTheRest(GeneralPage, form);
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

QLineEdit* frmSettings::Edit(const char* field) const
{
    return qobject_cast<QLineEdit*>(fields_.value(QString::fromLatin1(field)));
}

QCheckBox* frmSettings::Box(const char* field) const
{
    return qobject_cast<QCheckBox*>(fields_.value(QString::fromLatin1(field)));
}

QComboBox* frmSettings::List(const char* field) const
{
    return qobject_cast<QComboBox*>(fields_.value(QString::fromLatin1(field)));
}

QRadioButton* frmSettings::Option(const char* field) const
{
    return qobject_cast<QRadioButton*>(fields_.value(QString::fromLatin1(field)));
}

QString frmSettings::StoredText(const Row& row) const
{
    switch (row.kind) {
    case Kind::Text:
    case Kind::Secret:
        return Edit(row.field)->text();
    case Kind::Position:
    case Kind::Choice:
        return QString::number(List(row.field)->currentIndex());
    case Kind::DeviceName:
        return List(row.field)->currentText();
    case Kind::Check:
        return Box(row.field)->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    case Kind::Option:
        return Option(row.field)->isChecked() ? QStringLiteral("True") : QStringLiteral("False");
    }
    return {};
}

// False for a value the field cannot take: the first-run path.
bool frmSettings::LoadField(const Row& row, const std::string& value)
{
    switch (row.kind) {
    case Kind::Text:
    case Kind::Secret:
        // Windows-era tools wrote their code page: such text is read as Windows-1252.
        Edit(row.field)->setText(QString::fromStdString(LegacyText::ToUtf8(value)));
        return true;
    case Kind::Position:
        return LoadPosition(value, List(row.field));
    case Kind::Choice:
        return LoadChoice(value, List(row.field), row.initial);
    case Kind::DeviceName:
        return true;
    case Kind::Check:
        return LoadCheck(value, Box(row.field));
    case Kind::Option: {
        const std::optional<bool> on = ToBoolean(value);
        if (on)
            Option(row.field)->setChecked(*on);
        return on.has_value();
    }
    }
    return false;
}

void frmSettings::RestoreField(const Row& row, const QString& stored)
{
    switch (row.kind) {
    case Kind::Text:
    case Kind::Secret:
        Edit(row.field)->setText(stored);
        break;
    case Kind::Position:
    case Kind::Choice: {
        const int position = stored.toInt();
        List(row.field)->setCurrentIndex(position < List(row.field)->count() ? position : -1);
        break;
    }
    case Kind::DeviceName:
        break; // the position selects it
    case Kind::Check:
        Box(row.field)->setChecked(stored == QStringLiteral("1"));
        break;
    case Kind::Option:
        Option(row.field)->setChecked(stored == QStringLiteral("True"));
        break;
    }
}

bool frmSettings::LoadSettings()
{
    ShowWizardRow(false);
    const QString path = SettingsFile();
    // It holds the password: nobody else may read it, whoever wrote it.
    if (!RegularFile::MakeOwnerOnly(Std(path)))
        qWarning("TARN.INI: %s is readable by others and cannot be made the owner's alone", qPrintable(path));
    if (QFile(path).size() == 0)
        return false; // nothing to load: the dialog keeps its first-run values
    const IniFile ini(Std(path));
    for (const Row& row : SettingsTable::Rows()) {
        if (!LoadField(row, ini.Read(row.section, row.key)))
            return false;
    }
    PreferTcpWhenBothOptions(ini);
    SnapshotSettings();
    // The entry names the program that runs with these settings, also after the
    // program moved (from a build tree to an installed one).
    if (Box("chkStartUpWithSystem")->isChecked())
        AutostartEntry::Set(true);
    return true;
}

// The two CTI options exclude each other; a file naming both asked for the socket.
void frmSettings::PreferTcpWhenBothOptions(const IniFile& ini)
{
    if (ToBoolean(ini.Read("CTI", "EnableCTITCP")) != true || ToBoolean(ini.Read("CTI", "EnableCTIXML")) != true)
        return;
    Option("optCTITCP")->setChecked(true);
    qWarning("TARN.INI: both CTI options are True; TCP API Communication is taken (the CTI socket opens)");
}

bool frmSettings::SaveSettings()
{
    PrivateFolder::Create(Std(AppFolder::Files())); // a TRN_HOME named for the first time
    IniFile ini(Std(SettingsFile()));
    std::vector<IniFile::Entry> entries;
    for (const Row& row : SettingsTable::Rows())
        entries.push_back({row.section, row.key, Std(StoredText(row))});
    if (!ini.Write(entries)) {
        // The dialog stays open with the user's edits, which a reload would throw away.
        MessageBoxes::Current().Inform(this, QStringLiteral("The settings could not be saved in %1.").arg(SettingsFile()),
                                       MessageBoxes::Icon::Information);
        return false;
    }
    SnapshotSettings();
    AutostartEntry::Set(Box("chkStartUpWithSystem")->isChecked());
    return true;
}

void frmSettings::SnapshotSettings()
{
    current_.clear();
    for (const Row& row : SettingsTable::Rows())
        current_.append(StoredText(row));
}

void frmSettings::RestoreSettings()
{
    const std::vector<Row>& rows = SettingsTable::Rows();
    for (std::size_t i = 0; i < rows.size(); ++i)
        RestoreField(rows[i], current_.at(static_cast<qsizetype>(i)));
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
    if (Edit("txtConfigSIPLogin")->text().trimmed().isEmpty())
        return Refuse(QStringLiteral("The SIP Login must be informed"), Edit("txtConfigSIPLogin"));
    if (Edit("txtConfigSIPProxy")->text().trimmed().isEmpty())
        return Refuse(QStringLiteral("The SIP Proxy must be informed"), Edit("txtConfigSIPProxy"));
    const QString port = Edit("txtConfigSipPort")->text();
    if (port.trimmed().isEmpty())
        return Refuse(QStringLiteral("The SIP Port must be informed"), Edit("txtConfigSipPort"));
    for (const QChar c : port) {
        if (c < '0' || c > '9')
            return Refuse(QStringLiteral("The SIP Port is not valid"), Edit("txtConfigSipPort"));
    }
    const QString stun = StunServer();
    for (const QChar c : stun) {
        if (c.unicode() >= 0x80 || (!c.isLetterOrNumber() && c != '.' && c != '-' && c != ':'))
            return Refuse(QStringLiteral("The STUN server is not valid"), Edit("txtConfigStunServer"));
    }
    // Only a socket that is to listen needs a port it can listen on.
    if (Box("chkEnableCTI")->isChecked() && Option("optCTITCP")->isChecked() && !IsTcpPort(Edit("txtConfigTCPPort")->text()))
        return Refuse(QStringLiteral("The CTI TCP Port is not valid"), Edit("txtConfigTCPPort"), CtiPage);
    return true;
}

void frmSettings::FillMicDevices(OrvSIPUserAgentOCX& sipUA)
{
    List("cbxConfigMicDevice")->clear();
    List("cbxConfigMicDevice")->addItem(kDefaultDevice);
    const int total = sipUA.GetAudioInDevTotal();
    for (int id = 0; id < total; ++id)
        List("cbxConfigMicDevice")->addItem(QString::fromStdString(sipUA.GetAudioInDevName(id)));
    List("cbxConfigMicDevice")->setCurrentIndex(-1);
}

void frmSettings::FillSpeakerDevices(OrvSIPUserAgentOCX& sipUA)
{
    List("cbxConfigFoneDevice")->clear();
    List("cbxConfigFoneDevice")->addItem(kDefaultDevice);
    const int total = sipUA.GetAudioOutDevTotal();
    for (int id = 0; id < total; ++id)
        List("cbxConfigFoneDevice")->addItem(QString::fromStdString(sipUA.GetAudioOutDevName(id)));
    List("cbxConfigFoneDevice")->setCurrentIndex(-1);
}

void frmSettings::ApplyAudioSettings(OrvSIPUserAgentOCX& sipUA) const
{
    // Each call stands alone: a refused one does not stop the others.
    constexpr int kAgcLevel = 8000;
    if (Box("chkAudioAEC")->isChecked())
        sipUA.EnableAGC(kAgcLevel);
    else
        sipUA.DisableAGC();
    if (Box("chkAudioEchoCan")->isChecked())
        sipUA.EnableEchoNoiseCancellation();
    else
        sipUA.DisableEchoNoiseCancellation();
    if (Box("chkAudioMicBooster")->isChecked())
        sipUA.EnableMicBoost();
    else
        sipUA.DisableMicBoost();
    const std::pair<const char*, int> codecs[] = {
        {"chkCodecG711u", 3}, {"chkCodecG711a", 2}, {"chkCodecGSM", 0}, {"chkCodecILBC", 1}, {"chkCodecG729", 4}};
    for (const auto& [box, codec] : codecs) {
        if (Box(box)->isChecked())
            sipUA.SelectVoiceCodec(codec);
        else
            sipUA.DeselectVoiceCodec(codec);
    }
}

void frmSettings::ClearDeviceLists()
{
    List("cbxConfigFoneDevice")->clear();
    List("cbxConfigMicDevice")->clear();
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
    return Edit("txtConfigSIPLogin")->text();
}

QString frmSettings::Password() const
{
    return Edit("txtConfigSIPPass")->text();
}

QString frmSettings::Proxy() const
{
    return Edit("txtConfigSIPProxy")->text();
}

QString frmSettings::DisplayName() const
{
    return Edit("txtConfigSIPNome")->text();
}

QString frmSettings::OutboundProxy() const
{
    return Edit("txtConfigSIPOutboundProxy")->text();
}

QString frmSettings::CaFile() const
{
    return Edit("txtConfigCAFile")->text();
}

int frmSettings::MediaEncryption() const
{
    return List("cbxConfigMediaEncryption")->currentIndex();
}

QString frmSettings::StunServer() const
{
    return Edit("txtConfigStunServer")->text().trimmed();
}

int frmSettings::MicDeviceId() const
{
    return List("cbxConfigMicDevice")->currentIndex() - 1;
}

int frmSettings::SpeakerDeviceId() const
{
    return List("cbxConfigFoneDevice")->currentIndex() - 1;
}

bool frmSettings::AlwaysOnTop() const
{
    return Box("chkAlwaysOnTop")->isChecked();
}

bool frmSettings::ConfirmBeforeClose() const
{
    return Box("chkConfirmBeforeClose")->isChecked();
}

bool frmSettings::StartupOnSystray() const
{
    return Box("chkStartupOnSystray")->isChecked();
}

bool frmSettings::CtiEnabled() const
{
    return Box("chkEnableCTI")->isChecked();
}

bool frmSettings::CtiOverTcp() const
{
    return Option("optCTITCP")->isChecked();
}

QString frmSettings::TcpPort() const
{
    return Edit("txtConfigTCPPort")->text();
}
