#pragma once

#include "control/OrvSIPUserAgentOCX.h"
#include "control/OrvSIPUserAgentOCXEvents.h"
#include "cti/CtiEventQueue.h"

#include <QList>
#include <QPair>
#include <QWidget>

#include <memory>

class CtiService;
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
// event sink; CTI clients drive it through the same operations (SoftphoneCtiPhone).
class frmSoftphone : public QWidget, public OrvSIPUserAgentOCXEvents {
    Q_OBJECT

public:
    explicit frmSoftphone(QWidget* parent = nullptr);
    ~frmSoftphone() override;

    // Window load: style sheet, start-up, tray icon, then shown or minimised.
    void FormLoad();

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
    // Confirmation when asked for, then every trn of this user ends, this one last.
    void CloseApplication();
    // "Are you sure you want close?" when the settings ask for it; true to go on.
    bool ConfirmClose();
    [[noreturn]] void EndProgram();

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
    void ConnectPanel();
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
    static void PumpMessages();

    // Control events.
    void OnTryingToRegister() override;
    void OnSuccessToRegister() override;
    void OnFailToRegister() override;
    void OnFailToReRegister() override;
    void OnFailToUnRegister() override;
    void OnConnecting(int lineNo) override;
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

    std::unique_ptr<OrvSIPUserAgentOCX> sipUA;
    int sinkCookie_ = 0;
    int ctiSinkCookie_ = 0;
    QSocketNotifier* controlNotifier_ = nullptr;
    bool dispatching_ = false;
    bool starting_ = false;

    SoftphonePanel* panel_;
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
