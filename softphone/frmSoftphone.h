#pragma once

#include "control/OrvSIPUserAgentOCX.h"
#include "control/OrvSIPUserAgentOCXEvents.h"
#include "cti/CtiEventQueue.h"
#include "platform/FolderLock.h"

#include <QList>
#include <QPair>
#include <QWidget>

#include <memory>

class CallQualityMonitor;
class CtiService;
class ProcessKiller;
class QListWidget;
class QLineEdit;
class QPlainTextEdit;
class QSocketNotifier;
class QTimer;
class frmIncommingCall;
class frmSettings;
class SoftphoneCtiPhone;
class SoftphonePanel;
class TrayIcon;

// The softphone's main window: one account, one call on line 0 of the control
// `sipUA`. It starts and registers the user agent, places, answers, rejects, holds,
// transfers and ends calls, shows the control's events on three text lines and
// reports every state change to CTI clients as a record. The window is the control's
// event sink; CTI clients drive it through the same operations (SoftphoneCtiPhone),
// never in the middle of one of them or of an event handler. One window holds the
// files folder at a time (a lock file there); SIGTERM ends it as a confirmed "Exit".
class frmSoftphone : public QWidget, public OrvSIPUserAgentOCXEvents {
    Q_OBJECT

public:
    explicit frmSoftphone(QWidget* parent = nullptr);
    ~frmSoftphone() override;

    // Window load: style sheet, start-up, tray icon, then shown or minimised. False,
    // after telling the user, when another trn holds the files folder: the program
    // is to end then, leaving that one alone.
    bool FormLoad();

    void StartSoftphone();
    void ConnectToProxy();
    bool InitializeUserAgent(const QString& listenIp, const QString& fromUri);
    bool OpenLines(const QString& rtpIp, int lineCount);
    void ReportControlError();
    void ShutdownUserAgent();
    // The call operations tell whether the control did what they asked.
    bool MakeCall();
    // The number on the display, then MakeCall: CTI's "Dial".
    bool DialNumber(const QString& number);
    // The last MakeCall refused its text as a SIP URI that does not parse.
    bool DialWasRefused() const { return dialRefused_; }
    bool HangUpCall();
    bool AnswerCall();
    bool RejectIncomingCall();
    // False also when there was no call to hold or resume.
    bool ToggleHold();
    void TransferActiveCall(const QString& number);
    void limpaText();
    void addDialText(const QString& text);
    void SetStatusText(const QString& text);
    void minimizar();
    void openSettings();
    void openTransfer();
    // Confirmation when asked for, then EndProgram.
    void CloseApplication();
    // "Are you sure you want close?" when the settings ask for it; true to go on.
    bool ConfirmClose();
    // Every other copy of this program of the user ends (SIGTERM, SIGKILL 2 s later),
    // then this one, un-registered.
    [[noreturn]] void EndProgram();
    // Whether an event handler or a call operation is running: CTI commands wait.
    bool IsBusy() const { return busyDepth_ > 0 || dispatching_; }

    bool IsPendingCallId(const QString& callId) const;
    void RemovePendingCallId(const QString& callId);
    static QString CodecLabel(int codec);
    // The number dialled or the caller answered last: who the line's call is with.
    const QString& CallPeer() const { return callPeer_; }
    // The calls ringing in, oldest first: Call-ID and caller.
    QList<QPair<QString, QString>> PendingCalls() const;

    OrvSIPUserAgentOCX& Control() { return *sipUA; }
    frmSettings& Settings() { return *settings_; }
    frmIncommingCall* Popup() const { return popup_; }
    CtiEventQueue& CtiQueue();
    CtiService& Cti() { return *cti_; }
    bool IsStarting() const { return starting_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class BusyScope;

    void ConnectPanel();
    void WatchTermination();
    // Un-initialises (un-registers), ends `copies` that outlive their grace, removes
    // the lock file and the socket, and exits with 0, all within the grace.
    [[noreturn]] void LeaveProgram(const std::shared_ptr<ProcessKiller>& copies);
    void ShowIncomingCallPopup(const QString& name, const QString& number);
    void HidePopup();
    void RefreshLevels();
    void DispatchControlEvents();
    void HandleKey(QKeyEvent* event);
    void HandleCharacter(QChar character);
    void ApplyStyleSheet();
    void QueueCti(const QString& command, const QString& parameter, const QString& message);
    void WriteCtiDirect(const QString& command, const QString& parameter, const QString& message);
    void ConfigureCtiSocket();
    // The line's call ended: its call-log line, and its figures to socket clients
    // once, behind the record of its end.
    void PublishCallQuality();
    static void PumpMessages();

    // Control events.
    void OnTryingToRegister() override;
    void OnSuccessToRegister() override;
    void OnFailToRegister() override;
    void OnFailToReRegister() override;
    void OnFailToUnRegister() override;
    void OnConnecting(int lineNo) override;
    // The codec line of a connected call, "encrypted" in front when its voice is.
    void ShowCallCodec(int lineNo);
    // A transfer brings a new peer to the call on the screen: its number is shown.
    void ShowTransferredParty(int lineNo);
    void OnFailToConnect(int lineNo) override;
    void OnSuccessToConnect(int lineNo, const std::string& toRtpIp, int toRtpPort) override;
    void OnDisconnectCall(int lineNo) override;
    void OnIncomingCall(const std::string& callId, const std::string& displayName, const std::string& userName,
                        const std::string& fromUri, const std::string& toUri) override;
    void OnIncomingCallRingingStop(const std::string& callId) override;
    void OnServerFailureResponse(int lineNo, int statusCode, const std::string& reasonPhrase) override;
    void OnGeneralFailureResponse(int lineNo, int statusCode, const std::string& reasonPhrase) override;

    FolderLock lock_;
    FolderLock::Outcome lockOutcome_;
    std::unique_ptr<OrvSIPUserAgentOCX> sipUA;
    int sinkCookie_ = 0;
    int ctiSinkCookie_ = 0;
    QSocketNotifier* controlNotifier_ = nullptr;
    bool dispatching_ = false;
    int busyDepth_ = 0;
    bool starting_ = false;
    bool dialRefused_ = false;

    SoftphonePanel* panel_;
    CallQualityMonitor* quality_;
    QListWidget* ListIncomingCallIds;
    QLineEdit* txtKeyControl;
    QPlainTextEdit* txt_arr_sendsock;
    QTimer* TimerEqualizer;
    QString callPeer_;

    frmSettings* settings_;
    frmIncommingCall* popup_ = nullptr;
    TrayIcon* tray_;
    std::unique_ptr<SoftphoneCtiPhone> ctiPhone_;
    std::unique_ptr<CtiService> cti_;
};
