#include "softphone/frmSoftphone.h"

#include "control/OrvComponent.h"
#include "cti/AppFolder.h"
#include "cti/ControlErrorTable.h"
#include "cti/CtiService.h"
#include "softphone/AppIcon.h"
#include "softphone/CallQualityMonitor.h"
#include "platform/PrivateFolder.h"
#include "platform/ProcessKiller.h"
#include "platform/TerminationSignal.h"
#include "softphone/MessageBoxes.h"
#include "softphone/ProgramEnd.h"
#include "softphone/SipAddressText.h"
#include "softphone/SoftphoneCtiPhone.h"
#include "softphone/SoftphonePanel.h"
#include "softphone/SoftphoneStyle.h"
#include "softphone/TrayIcon.h"
#include "softphone/WindowOnTop.h"
#include "softphone/frmIncommingCall.h"
#include "softphone/frmSettings.h"
#include "softphone/frmTranfer.h"
#include "softphone/zzSlider.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <optional>

namespace {

constexpr int kLine = 0;

// The user part of a name-addr ("\"Bob\" <sip:2002@host>" gives "2002").
QString UserOf(const std::string& nameAddr)
{
    const QString text = QString::fromStdString(nameAddr);
    const qsizetype scheme = text.indexOf(QStringLiteral("sip:"), 0, Qt::CaseInsensitive);
    const qsizetype at = text.indexOf('@', scheme);
    return scheme < 0 || at < 0 ? QString() : text.mid(scheme + 4, at - scheme - 4);
}
constexpr int kFirstSipPort = 5060;
constexpr int kLastSipPort = 6999;
constexpr int kFirstRtpPort = 7000;
constexpr int kExtraRtpAttempts = 1000;
constexpr int kRegisterExpiry = 3600;
// The control's error for a call that would need encryption it cannot have.
constexpr int kEncryptionUnavailable = 41;
constexpr int kLevelIntervalMs = 20;
// Other copies get this long to end on SIGTERM; un-registering gets as long.
constexpr std::chrono::milliseconds kEndGrace{2000};

const QString kHangup = QStringLiteral("Hangup");
const QString kLostCall = QStringLiteral("Lost call");

std::string Std(const QString& text)
{
    return text.toStdString();
}

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

// The control through the class factory of its library, as any host creates it.
std::unique_ptr<OrvSIPUserAgentOCX> CreateControl()
{
    void* factory = nullptr;
    void* object = nullptr;
    if (DllGetClassObject(OrvClassId, OrvClassFactoryInterfaceId, &factory) != OrvOk || factory == nullptr ||
        static_cast<OrvClassFactory*>(factory)->CreateInstance(OrvDispatchInterfaceId, &object) != OrvOk ||
        object == nullptr)
        qFatal("The OrvSIPUserAgentOCX control could not be created");
    return std::unique_ptr<OrvSIPUserAgentOCX>(static_cast<OrvSIPUserAgentOCX*>(object));
}

// With ORVSIP_LOCAL_ADDRESS the user picked the interface: the sockets listen on it
// alone instead of on every interface.
bool BindToChosenAddress()
{
    return !qEnvironmentVariable("ORVSIP_LOCAL_ADDRESS").isEmpty();
}

// The folder of TARN.INI, made (for the owner alone) when it does not exist yet, so
// that its lock file can be taken before anything else happens in it.
FolderLock::Outcome LockFilesFolder(FolderLock& lock)
{
    PrivateFolder::Create(Std(AppFolder::Files()));
    const FolderLock::Outcome outcome = lock.TryLock();
    if (outcome == FolderLock::Outcome::Unavailable)
        qWarning("trn: no lock file can be made at %s; another trn could use the same files", lock.Path().c_str());
    return outcome;
}

} // namespace

// Marks an event handler or call operation as running: CTI commands wait until none
// is, and may go once the last one has ended.
class frmSoftphone::BusyScope {
public:
    explicit BusyScope(frmSoftphone& window) : window_(window) { ++window_.busyDepth_; }
    ~BusyScope()
    {
        if (--window_.busyDepth_ == 0 && !window_.IsBusy())
            window_.cti_->PhoneIdle();
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    frmSoftphone& window_;
};

frmSoftphone::frmSoftphone(QWidget* parent)
    : QWidget(parent), lock_(Std(AppFolder::Files()) + "trn.lock"), lockOutcome_(LockFilesFolder(lock_)),
      sipUA(CreateControl()), ctiPhone_(std::make_unique<SoftphoneCtiPhone>(*this)),
      cti_(std::make_unique<CtiService>(*ctiPhone_, Std(AppFolder::Files())))
{
    setObjectName(QStringLiteral("frmSoftphone"));
    setWindowTitle(QStringLiteral("TARN Softphone"));
    setWindowIcon(AppIcon::Create());

    panel_ = new SoftphonePanel;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 8);
    layout->addWidget(panel_);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    ConnectPanel();
    quality_ = new CallQualityMonitor(*sipUA, kLine, *panel_->lblCallQuality, AppFolder::Files() + "calls.log", this);

    ListIncomingCallIds = new QListWidget(this);
    ListIncomingCallIds->setObjectName(QStringLiteral("ListIncomingCallIds"));
    ListIncomingCallIds->hide();
    txtKeyControl = new QLineEdit(this);
    txtKeyControl->setObjectName(QStringLiteral("txtKeyControl"));
    txtKeyControl->setFixedSize(0, 0);
    txtKeyControl->installEventFilter(this);
    setFocusProxy(txtKeyControl);
    txt_arr_sendsock = new QPlainTextEdit(this);
    txt_arr_sendsock->setObjectName(QStringLiteral("txt_arr_sendsock"));
    txt_arr_sendsock->setReadOnly(true);
    txt_arr_sendsock->hide();
    connect(cti_.get(), &CtiService::QueueShown, txt_arr_sendsock, &QPlainTextEdit::setPlainText);

    settings_ = new frmSettings(this);
    connect(settings_, &frmSettings::SettingsApplied, this, [this] {
        ShutdownUserAgent();
        StartSoftphone();
    });
    connect(settings_, &frmSettings::WizardCancelled, this, &frmSoftphone::CloseApplication);

    tray_ = new TrayIcon(windowIcon(), this);
    connect(tray_, &TrayIcon::ShowRequested, this, [this] {
        showNormal();
        activateWindow();
    });
    connect(tray_, &TrayIcon::SettingsRequested, this, &frmSoftphone::openSettings);
    connect(tray_, &TrayIcon::ExitRequested, this, &frmSoftphone::CloseApplication);

    sinkCookie_ = sipUA->Advise(this);
    // After the window: a failure's records go out before the socket's failure event.
    ctiSinkCookie_ = sipUA->Advise(&cti_->ControlSink());
    controlNotifier_ = new QSocketNotifier(sipUA->EventDescriptor(), QSocketNotifier::Read, this);
    connect(controlNotifier_, &QSocketNotifier::activated, this, &frmSoftphone::DispatchControlEvents);

    TimerEqualizer = new QTimer(this);
    TimerEqualizer->setObjectName(QStringLiteral("TimerEqualizer"));
    TimerEqualizer->setInterval(kLevelIntervalMs);
    connect(TimerEqualizer, &QTimer::timeout, this, &frmSoftphone::RefreshLevels);
    TimerEqualizer->start();
    // A second trn on the same folder must not take the first one's commands.
    if (lockOutcome_ != FolderLock::Outcome::HeldElsewhere)
        cti_->Start();
}

void frmSoftphone::ConnectPanel()
{
    connect(panel_, &SoftphonePanel::MenuClicked, this, &frmSoftphone::openSettings);
    connect(panel_, &SoftphonePanel::MinimiseClicked, this, &frmSoftphone::minimizar);
    connect(panel_, &SoftphonePanel::CloseClicked, this, &frmSoftphone::CloseApplication);
    connect(panel_, &SoftphonePanel::CallClicked, this, &frmSoftphone::MakeCall);
    // "Cancel" ends a call still being set up, as Esc does, and otherwise clears the display.
    connect(panel_, &SoftphonePanel::CancelClicked, this, [this] {
        if (sipUA->IsLineBusy(kLine))
            HangUpCall();
        else
            limpaText();
    });
    connect(panel_, &SoftphonePanel::AnswerClicked, this, &frmSoftphone::AnswerCall);
    connect(panel_, &SoftphonePanel::RejectClicked, this, &frmSoftphone::RejectIncomingCall);
    connect(panel_, &SoftphonePanel::TransferClicked, this, &frmSoftphone::openTransfer);
    connect(panel_, &SoftphonePanel::HangupClicked, this, &frmSoftphone::HangUpCall);
    connect(panel_, &SoftphonePanel::HoldClicked, this, &frmSoftphone::ToggleHold);
    connect(panel_, &SoftphonePanel::DialKeyClicked, this, &frmSoftphone::addDialText);
    connect(panel_->sldVolFon, &zzSlider::Change, this, [this] {
        if (!starting_)
            sipUA->SetSpkVolume(static_cast<int>(std::lround(panel_->sldVolFon->Value())));
    });
    connect(panel_->SldVolMic, &zzSlider::Change, this, [this] {
        if (!starting_)
            sipUA->SetMicVolume(static_cast<int>(std::lround(panel_->SldVolMic->Value())));
    });
}

frmSoftphone::~frmSoftphone()
{
    controlNotifier_->setEnabled(false);
    sipUA->Unadvise(ctiSinkCookie_);
    sipUA->Unadvise(sinkCookie_);
    tray_->DeleteTrayIcon();
}

bool frmSoftphone::FormLoad()
{
    if (lockOutcome_ == FolderLock::Outcome::HeldElsewhere) {
        MessageBoxes::Current().Inform(this, QStringLiteral("TARN Softphone is already running."),
                                       MessageBoxes::Icon::Information);
        return false;
    }
    WatchTermination();
    ApplyStyleSheet();
    StartSoftphone();
    if (TrayIcon::IsAvailable())
        tray_->AddTrayIcon();
    show();
    txtKeyControl->setFocus();
    if (settings_->StartupOnSystray())
        minimizar();
    return true;
}

// A logout, a service stop or another copy closing: ended as a confirmed "Exit".
void frmSoftphone::WatchTermination()
{
    auto* notifier = new QSocketNotifier(TerminationSignal::Descriptor(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] { LeaveProgram(nullptr); });
}

void frmSoftphone::ApplyStyleSheet()
{
    qApp->setStyleSheet(SoftphoneStyle::Sheet());
}

void frmSoftphone::PumpMessages()
{
    // Timers, sockets and the control's events run; clicks and keys wait, so that no
    // user action starts in the middle of another.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void frmSoftphone::StartSoftphone()
{
    const BusyScope busy(*this);
    starting_ = true;
    PumpMessages();
    panel_->BringToFront(panel_->frameChamarCancelar);
    while (true) {
        settings_->FillMicDevices(*sipUA);
        settings_->FillSpeakerDevices(*sipUA);
        if (settings_->LoadSettings())
            break;
        // The first run (or a file that no longer fits): the wizard saves settings
        // that load, and this one start-up goes on with them.
        if (!settings_->RunFirstRunWizard()) {
            starting_ = false;
            return;
        }
        ShutdownUserAgent();
    }
    ConfigureCtiSocket();
    ConnectToProxy();
    PumpMessages();
    WindowOnTop::Set(this, settings_->AlwaysOnTop());
    starting_ = false;
}

void frmSoftphone::ConnectToProxy()
{
    if (settings_->Login().isEmpty()) {
        MessageBoxes::Current().Inform(this, QStringLiteral("Please enter the SIP proxy Login Id."),
                                       MessageBoxes::Icon::None);
        openSettings();
        return;
    }
    if (settings_->Proxy().isEmpty()) {
        MessageBoxes::Current().Inform(this, QStringLiteral("Please enter the SIP proxy address or URI."),
                                       MessageBoxes::Icon::None);
        openSettings();
        return;
    }
    const QString name = settings_->DisplayName().isEmpty() ? settings_->Login() : settings_->DisplayName();
    // Any name a user types (letters beyond ASCII, quotes, backslashes) stays one header value.
    const QString fromUri = Q(SipAddressText::QuotedDisplayName(Std(name)) + " <" +
                              SipAddressText::UserUri(Std(settings_->Login()), Std(settings_->Proxy())) + '>');
    const QString listenIp = Q(sipUA->GetMyIP());
    if (!InitializeUserAgent(listenIp, fromUri))
        return;
    // Initialize restores the default codecs: the user's choices go in after it.
    settings_->ApplyAudioSettings(*sipUA);
    sipUA->SetAcceptTransfer(true);
    sipUA->SetMediaEncryption(settings_->MediaEncryption());
    if (!sipUA->SetStunServer(Std(settings_->StunServer())))
        ReportControlError();
    if (!OpenLines(listenIp, 1))
        return;
    if (!sipUA->RegisterToProxy(kRegisterExpiry))
        ReportControlError();
    else
        SetStatusText(QStringLiteral("Registering to SIP Proxy."));
}

bool frmSoftphone::InitializeUserAgent(const QString& listenIp, const QString& fromUri)
{
    // The user agent reads its extra CA file from the environment when it starts; the
    // field wins over what trn was started with, and an empty field leaves that.
    static const QByteArray startedWith = qgetenv("ORVSIP_TLS_CA_FILE");
    const QString caFile = settings_->CaFile().trimmed();
    qputenv("ORVSIP_TLS_CA_FILE", caFile.isEmpty() ? startedWith : caFile.toLocal8Bit());
    for (int port = kFirstSipPort; port <= kLastSipPort; ++port) {
        if (sipUA->Initialize(BindToChosenAddress(), Std(listenIp), port, Std(fromUri),
                              Std(settings_->OutboundProxy()), Std(settings_->Proxy()), Std(settings_->Login()),
                              Std(settings_->Password()), true, 1))
            return true;
        if (sipUA->GetOrvObjectError() != 11) {
            ReportControlError();
            return false;
        }
    }
    MessageBoxes::Current().Inform(this, QStringLiteral("Cann't open SIP communication port."),
                                   MessageBoxes::Icon::None);
    return false;
}

bool frmSoftphone::OpenLines(const QString& rtpIp, int lineCount)
{
    int port = kFirstRtpPort;
    int failures = 0;
    for (int line = 0; line < lineCount;) {
        const bool opened = sipUA->OpenLine(line, BindToChosenAddress(), Std(rtpIp), port);
        port += 2;
        if (opened) {
            ++line;
            continue;
        }
        if (sipUA->GetOrvObjectError() != 11) {
            ReportControlError();
            return false;
        }
        if (++failures >= lineCount + kExtraRtpAttempts) {
            MessageBoxes::Current().Inform(this, QStringLiteral("Unable to open RTP communication port."),
                                           MessageBoxes::Icon::None);
            return false;
        }
    }
    return true;
}

void frmSoftphone::ReportControlError()
{
    const int code = sipUA->GetOrvObjectError();
    const auto report = ControlErrorTable::ReportFor(code);
    if (report)
        cti_->QueueCtiEvent(report->command, std::to_string(code), report->message);
}

void frmSoftphone::ShutdownUserAgent()
{
    quality_->CallEnded();
    sipUA->UnInitialize();
    settings_->ClearDeviceLists();
}

bool frmSoftphone::MakeCall()
{
    const BusyScope busy(*this);
    const QString number = panel_->lblDisplay1->text();
    const std::optional<std::string> uri =
        number.isEmpty() ? std::nullopt : SipAddressText::DialUri(Std(number), Std(settings_->Proxy()));
    dialRefused_ = !number.isEmpty() && !uri;
    if (!uri) {
        MessageBoxes::Current().Inform(this, QStringLiteral("A number must be informed"),
                                       MessageBoxes::Icon::Information);
        panel_->BringToFront(panel_->frameChamarCancelar);
        return false;
    }
    if (!sipUA->Connect(kLine, *uri, settings_->MicDeviceId(), settings_->SpeakerDeviceId())) {
        // "Call encryption" asks for what this proxy's way cannot give: nothing was sent.
        if (sipUA->GetOrvObjectError() == kEncryptionUnavailable)
            SetStatusText(QStringLiteral("Encryption not possible"));
        ReportControlError();
        return false;
    }
    callPeer_ = number;
    SetStatusText(QStringLiteral("Dialing"));
    return true;
}

bool frmSoftphone::DialNumber(const QString& number)
{
    const BusyScope busy(*this);
    panel_->lblDisplay1->setText(number);
    PumpMessages();
    return MakeCall();
}

bool frmSoftphone::HangUpCall()
{
    const BusyScope busy(*this);
    SetStatusText(kHangup);
    panel_->lblDisplay1->clear();
    // A local hang-up raises no disconnect event: the call's codec and hold state
    // leave the screen here.
    panel_->lblDisplayCodec->clear();
    panel_->cmdHold->setText(QStringLiteral("Hold"));
    PumpMessages();
    panel_->BringToFront(panel_->frameChamarCancelar);
    if (!sipUA->Disconnect(kLine)) {
        ReportControlError();
        return false;
    }
    cti_->CallEndedHere();
    QueueCti(QStringLiteral("HANGUP"), QStringLiteral("CALL DISCONECTED"), QString());
    PublishCallQuality();
    return true;
}

void frmSoftphone::PublishCallQuality()
{
    const QString figures = quality_->CallEnded();
    if (!figures.isEmpty())
        cti_->PublishQuality(Std(figures));
}

bool frmSoftphone::AnswerCall()
{
    const BusyScope busy(*this);
    const QListWidgetItem* oldest = ListIncomingCallIds->item(0);
    const QString callId = oldest != nullptr ? oldest->text() : QString();
    const QString caller = oldest != nullptr ? oldest->data(Qt::UserRole).toString() : QString();
    // A call that could not be answered still rings: it stays to be answered or rejected.
    if (!sipUA->AcceptCall(kLine, Std(callId), settings_->MicDeviceId(), settings_->SpeakerDeviceId())) {
        ReportControlError();
        return false;
    }
    RemovePendingCallId(callId);
    HidePopup();
    callPeer_ = caller;
    return true;
}

bool frmSoftphone::RejectIncomingCall()
{
    const BusyScope busy(*this);
    const QString callId = ListIncomingCallIds->count() > 0 ? ListIncomingCallIds->item(0)->text() : QString();
    RemovePendingCallId(callId);
    HidePopup();
    panel_->lblDisplay1->clear();
    panel_->lblDisplayStatus->setText(QStringLiteral("Call Rejected"));
    // With no other call waiting, the call buttons come back rather than leaving
    // "Answer" and "Reject" in front with nothing to answer.
    if (ListIncomingCallIds->count() == 0)
        panel_->BringToFront(panel_->frameChamarCancelar);
    PumpMessages();
    if (!sipUA->RejectCall(Std(callId))) {
        ReportControlError();
        return false;
    }
    return true;
}

bool frmSoftphone::ToggleHold()
{
    const BusyScope busy(*this);
    const bool resume = sipUA->IsLineHold(kLine);
    if (!resume && !sipUA->IsLineBusy(kLine))
        return false;
    const bool ok = resume ? sipUA->UnHoldLine(kLine) : sipUA->HoldLine(kLine);
    panel_->cmdHold->setText(resume ? QStringLiteral("Hold") : QStringLiteral("Unhold"));
    PumpMessages();
    if (ok)
        WriteCtiDirect(QStringLiteral("Response"), QStringLiteral("Hold"),
                       resume ? QStringLiteral("Unhold line OK") : QStringLiteral("Hold line OK"));
    else
        ReportControlError();
    return ok;
}

void frmSoftphone::TransferActiveCall(const QString& number)
{
    const BusyScope busy(*this);
    const std::optional<std::string> uri = SipAddressText::DialUri(Std(number), Std(settings_->Proxy()));
    if (!uri) {
        // Refused as a number would be: the call goes on, to be transferred again.
        MessageBoxes::Current().Inform(this, QStringLiteral("A number must be informed"),
                                       MessageBoxes::Icon::Information);
        return;
    }
    if (sipUA->TransferCall(kLine, *uri))
        SetStatusText(kHangup);
    else
        ReportControlError();
    HangUpCall();
}

void frmSoftphone::limpaText()
{
    panel_->lblDisplayStatus->setText(QStringLiteral("Extension ") + settings_->Login());
    panel_->lblDisplay1->clear();
    PumpMessages();
}

void frmSoftphone::addDialText(const QString& text)
{
    panel_->lblDisplay1->setText(panel_->lblDisplay1->text() + text);
    PumpMessages();
}

void frmSoftphone::SetStatusText(const QString& text)
{
    panel_->lblDisplayStatus->setText(text);
    PumpMessages();
}

void frmSoftphone::minimizar()
{
    // Without a notification area a hidden window could not be brought back.
    if (!TrayIcon::IsAvailable()) {
        showMinimized();
        return;
    }
    setWindowState(windowState() | Qt::WindowMinimized);
    tray_->AddTrayIcon();
    hide();
}

void frmSoftphone::openSettings()
{
    WindowOnTop::Set(settings_, settings_->AlwaysOnTop());
    settings_->RunNormal();
}

void frmSoftphone::openTransfer()
{
    auto* dialog = new frmTranfer(this);
    WindowOnTop::Set(dialog, settings_->AlwaysOnTop());
    connect(dialog, &frmTranfer::TransferRequested, this, &frmSoftphone::TransferActiveCall);
    PumpMessages();
    dialog->show();
    dialog->activateWindow();
}

void frmSoftphone::CloseApplication()
{
    if (ConfirmClose())
        EndProgram();
}

bool frmSoftphone::ConfirmClose()
{
    return !settings_->ConfirmBeforeClose() ||
           MessageBoxes::Current().AskYesNo(this, QStringLiteral("Are you sure you want close?"));
}

void frmSoftphone::EndProgram()
{
    auto copies = std::make_shared<ProcessKiller>();
    copies->TerminateCopies();
    LeaveProgram(copies);
}

void frmSoftphone::LeaveProgram(const std::shared_ptr<ProcessKiller>& copies)
{
    // A call cut by the program's end still gets its line in the call log.
    quality_->CallEnded();
    const QString socket = cti_->LocalSocketPath();
    ProgramEnd::Run([this] { sipUA->UnInitialize(); },
                    [this, copies, socket] {
                        if (copies)
                            copies->KillSurvivors(kEndGrace);
                        lock_.Release();
                        if (!socket.isEmpty())
                            QFile::remove(socket);
                    },
                    kEndGrace);
}

bool frmSoftphone::IsPendingCallId(const QString& callId) const
{
    for (int i = 0; i < ListIncomingCallIds->count(); ++i) {
        if (ListIncomingCallIds->item(i)->text().toUpper() == callId.toUpper())
            return true;
    }
    return false;
}

QList<QPair<QString, QString>> frmSoftphone::PendingCalls() const
{
    QList<QPair<QString, QString>> calls;
    for (int i = 0; i < ListIncomingCallIds->count(); ++i) {
        const QListWidgetItem* item = ListIncomingCallIds->item(i);
        calls.append({item->text(), item->data(Qt::UserRole).toString()});
    }
    return calls;
}

void frmSoftphone::RemovePendingCallId(const QString& callId)
{
    for (int i = 0; i < ListIncomingCallIds->count(); ++i) {
        if (ListIncomingCallIds->item(i)->text().toUpper() == callId.toUpper()) {
            delete ListIncomingCallIds->takeItem(i);
            return;
        }
    }
}

QString frmSoftphone::CodecLabel(int codec)
{
    switch (codec) {
    case 0:
        return QStringLiteral("gsm6.10");
    case 1:
        return QStringLiteral("iLBC");
    case 2:
        return QStringLiteral("gsm711a");
    case 3:
        return QStringLiteral("gsm711u");
    case 4:
        return QStringLiteral("g729a");
    default:
        return QString();
    }
}

void frmSoftphone::ShowCallCodec(int lineNo)
{
    const QString codec = CodecLabel(sipUA->GetOutboundCodec(lineNo));
    const bool encrypted = !sipUA->GetMediaEncryption(lineNo).empty();
    panel_->lblDisplayCodec->setText(encrypted ? QStringLiteral("encrypted  ") + codec : codec);
}

void frmSoftphone::ShowIncomingCallPopup(const QString& name, const QString& number)
{
    if (popup_ == nullptr) {
        popup_ = new frmIncommingCall(this);
        connect(popup_, &frmIncommingCall::AnswerClicked, this, &frmSoftphone::AnswerCall);
        connect(popup_, &frmIncommingCall::RejectClicked, this, &frmSoftphone::RejectIncomingCall);
    }
    popup_->ShowIncomingCallPopup(name, number);
}

void frmSoftphone::HidePopup()
{
    if (popup_ != nullptr)
        popup_->hide();
}

void frmSoftphone::RefreshLevels()
{
    panel_->progbarVolMic->setValue(sipUA->GetMicSoundLevel());
    panel_->progBarVolFon->setValue(sipUA->GetSpkSoundLevel());
}

void frmSoftphone::DispatchControlEvents()
{
    // An event handler may pump messages or show a box: the descriptor stays
    // readable meanwhile, and must not start a second dispatch inside the first.
    if (dispatching_)
        return;
    dispatching_ = true;
    controlNotifier_->setEnabled(false);
    sipUA->DispatchEvents();
    controlNotifier_->setEnabled(true);
    dispatching_ = false;
    if (!IsBusy())
        cti_->PhoneIdle();
}

CtiEventQueue& frmSoftphone::CtiQueue()
{
    return cti_->Queue();
}

void frmSoftphone::QueueCti(const QString& command, const QString& parameter, const QString& message)
{
    cti_->QueueCtiEvent(Std(command), Std(parameter), Std(message));
}

void frmSoftphone::WriteCtiDirect(const QString& command, const QString& parameter, const QString& message)
{
    cti_->WriteCtiOutput({Std(command), Std(parameter), Std(message)});
}

// The text files always work; the socket only with "Enable CTI" and "TCP API
// Communication", on 127.0.0.1 unless TRN_CTI_ADDRESS names another address.
void frmSoftphone::ConfigureCtiSocket()
{
    cti_->ConfigureSocket(settings_->CtiEnabled() && settings_->CtiOverTcp(), Std(settings_->TcpPort()),
                          Std(qEnvironmentVariable("TRN_CTI_ADDRESS")));
}

void frmSoftphone::keyPressEvent(QKeyEvent* event)
{
    HandleKey(event);
}

bool frmSoftphone::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtKeyControl && event->type() == QEvent::KeyPress) {
        HandleKey(static_cast<QKeyEvent*>(event));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmSoftphone::closeEvent(QCloseEvent* event)
{
    // The window's close button ends the program the way "X" does.
    event->ignore();
    CloseApplication();
}

void frmSoftphone::HandleKey(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        MakeCall();
    const QString text = event->text();
    if (!text.isEmpty())
        HandleCharacter(text.at(0));
}

void frmSoftphone::HandleCharacter(QChar character)
{
    txtKeyControl->clear();
    txtKeyControl->setFocus();
    const QString status = panel_->lblDisplayStatus->text();
    if (status == kHangup || status == kLostCall)
        limpaText();
    const char16_t code = character.unicode();
    if ((code >= '0' && code <= '9') || (code >= 'A' && code <= 'z')) {
        addDialText(character);
        return;
    }
    if (code == '\b') {
        panel_->lblDisplay1->setText(panel_->lblDisplay1->text().chopped(panel_->lblDisplay1->text().isEmpty() ? 0 : 1));
        return;
    }
    if (code == 0x1B) {
        if (sipUA->IsLineBusy(kLine))
            HangUpCall();
        else
            limpaText();
    }
    if (TrayIcon::IsAvailable())
        tray_->AddTrayIcon();
}

void frmSoftphone::OnTryingToRegister()
{
    SetStatusText(QStringLiteral("Registering"));
    QueueCti(QStringLiteral("STATUS"), QStringLiteral("REGISTERING"), QString());
}

void frmSoftphone::OnSuccessToRegister()
{
    SetStatusText(QStringLiteral("Registered"));
    QueueCti(QStringLiteral("STATUS"), QStringLiteral("REGISTERED"), QString());
}

void frmSoftphone::OnFailToRegister()
{
    SetStatusText(QStringLiteral("Fail to Register"));
    QueueCti(QStringLiteral("ERROR"), QStringLiteral("FAIL TO REGISTER"), QString());
}

void frmSoftphone::OnFailToReRegister()
{
    OnFailToRegister();
}

void frmSoftphone::OnFailToUnRegister()
{
    SetStatusText(QStringLiteral("Fail to Unregister"));
    QueueCti(QStringLiteral("ERROR"), QStringLiteral("FAIL TO UNREGISTER"), QString());
}

void frmSoftphone::ShowTransferredParty(int lineNo)
{
    if (panel_->frameTranferirDesligar->isHidden())
        return;
    const QString party = UserOf(sipUA->GetRemoteParty(lineNo));
    if (!party.isEmpty())
        panel_->lblDisplay1->setText(party);
}

void frmSoftphone::OnConnecting(int lineNo)
{
    ShowTransferredParty(lineNo);
    SetStatusText(QStringLiteral("Connecting..."));
    QueueCti(QStringLiteral("STATUS"), QStringLiteral("CONNECTING"), QString());
}

void frmSoftphone::OnFailToConnect(int)
{
    SetStatusText(QStringLiteral("Fail to Connect"));
    QueueCti(QStringLiteral("ERROR"), QStringLiteral("FAIL TO CONNECT"), QString());
}

void frmSoftphone::OnSuccessToConnect(int lineNo, const std::string&, int)
{
    ShowTransferredParty(lineNo);
    SetStatusText(QStringLiteral("Conected"));
    panel_->BringToFront(panel_->frameTranferirDesligar);
    ShowCallCodec(lineNo);
    // -1 is a failed read, not a volume: the sliders keep what they show.
    const int mic = sipUA->GetMicVolume();
    if (mic >= 0)
        panel_->SldVolMic->SetValue(static_cast<float>(mic));
    const int speaker = sipUA->GetSpkVolume();
    if (speaker >= 0)
        panel_->sldVolFon->SetValue(static_cast<float>(speaker));
    WriteCtiDirect(QStringLiteral("STATUS"), QStringLiteral("SUCCESS TO CONNECT"), QString());
    quality_->CallConnected(callPeer_);
}

void frmSoftphone::OnDisconnectCall(int)
{
    panel_->lblDisplayCodec->clear();
    SetStatusText(kHangup);
    panel_->BringToFront(panel_->frameChamarCancelar);
    panel_->cmdHold->setText(QStringLiteral("Hold"));
    QueueCti(QStringLiteral("STATUS"), QStringLiteral("DISCONNECT"), QString());
    PublishCallQuality();
}

void frmSoftphone::OnIncomingCall(const std::string& callId, const std::string& displayName,
                                  const std::string& userName, const std::string&, const std::string&)
{
    const QString caller = displayName.empty() ? Q(userName) : Q(displayName);
    if (!IsPendingCallId(Q(callId))) {
        auto* item = new QListWidgetItem(Q(callId));
        item->setData(Qt::UserRole, caller);
        ListIncomingCallIds->addItem(item);
    }
    SetStatusText(QStringLiteral("Incoming Call"));
    ShowIncomingCallPopup(caller, displayName.empty() ? QString() : Q(userName));
    panel_->lblDisplay1->setText(caller);
    panel_->BringToFront(panel_->frameAtenderRejeitar);
    WriteCtiDirect(QStringLiteral("INCOMING CALL"), caller, QString());
}

void frmSoftphone::OnIncomingCallRingingStop(const std::string& callId)
{
    // The caller gave up: that call can no longer be answered.
    RemovePendingCallId(Q(callId));
    SetStatusText(kLostCall);
    HidePopup();
    panel_->BringToFront(panel_->frameChamarCancelar);
    WriteCtiDirect(QStringLiteral("LOST CALL"), QString(), QString());
}

void frmSoftphone::OnServerFailureResponse(int, int statusCode, const std::string& reasonPhrase)
{
    SetStatusText(QStringLiteral("Server Error: ") + QString::number(statusCode));
    WriteCtiDirect(QStringLiteral("SERVER ERROR"), QStringLiteral("CODE ") + QString::number(statusCode),
                   Q(reasonPhrase));
}

void frmSoftphone::OnGeneralFailureResponse(int, int, const std::string&)
{
    SetStatusText(QStringLiteral("Sistem Error"));
    QueueCti(QStringLiteral("ERROR"), QStringLiteral("GENERAL SISTEM ERROR"), QString());
}
