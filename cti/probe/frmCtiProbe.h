#pragma once

#include "cti/CtiEventQueue.h"
#include "cti/CtiLineSplitter.h"

#include <QString>
#include <QWidget>

class QIODevice;
class QLabel;
class QLineEdit;
class QLocalSocket;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTcpSocket;
class QTimer;

// The window of ctiprobe. Each button sends one CTI command to trn; the left log
// shows the commands sent, the right one the events received, newest first. In file
// mode a command goes into INPUT.INI and `tmrInputData` picks events out of
// OUTPUT.INI every 200 ms; in socket mode both go over the CTI socket, by TCP or by
// the Unix-domain socket of the files folder (its path is shown, ready to connect).
class frmCtiProbe : public QWidget {
    Q_OBJECT

public:
    // trn is looked for in programFolder; INPUT.INI and OUTPUT.INI lie in filesFolder
    // (both end in "/"). By default the tool's own folder, and TRN_HOME for the files
    // when it is set, as trn does.
    explicit frmCtiProbe(QWidget* parent = nullptr);
    frmCtiProbe(const QString& programFolder, const QString& filesFolder, QWidget* parent = nullptr);

    // The tool's folder, where "Start Softphone" finds trn.
    QString AppPath() const { return programFolder_; }
    // True when the file exists and is not empty; any error gives false.
    static bool FileExist(const QString& path);

    // One command to trn (INPUT.INI or the socket), then into the command log.
    void commandOut(const QString& command, const QString& parameter, const QString& message);
    // One event into the event log.
    void commandIn(const QString& command, const QString& parameter, const QString& message);
    // One tick of tmrInputData: an OUTPUT.INI record into the log, then the file goes.
    void PollOutput();
    void StartSoftphone();

    // TCP or the Unix-domain socket.
    bool IsSocketMode() const;
    bool IsConnected() const;
    // The logs exactly as kept (CR LF line ends), newest entry first.
    const QString& CommandLog() const { return commandLog_; }
    const QString& EventLog() const { return eventLog_; }
    QString StatusText() const;

    // What the event log shows for one line from the socket.
    static CtiEventQueue::Record EntryForLine(const QString& line);

private:
    QWidget* BuildCommands();
    QWidget* BuildTransport();
    QPushButton* AddButton(const QString& objectName, const QString& caption);
    void ConnectButtons();
    void ToggleConnection();
    void ReadSocket();
    void ShowConnectionState();
    void ShowSocketError(const QString& error);
    // The connected socket, or nullptr.
    QIODevice* Connection() const;
    static void Prepend(QString& log, QPlainTextEdit* box, const QString& entry);

    QString programFolder_;
    QString filesFolder_;
    QString commandLog_;
    QString eventLog_;

    QLineEdit* txtDial;
    QLineEdit* txtDTMF;
    QPlainTextEdit* txtOutPut;
    QPlainTextEdit* txtInput;
    QTimer* tmrInputData;
    QRadioButton* optFileMode;
    QRadioButton* optTcpMode;
    QRadioButton* optUnixMode;
    QLineEdit* txtSocketPath;
    QLineEdit* txtHost;
    QLineEdit* txtPort;
    QPushButton* cmdConnect;
    QLabel* lblStatus;
    QTcpSocket* socket_;
    QLocalSocket* local_;
    CtiLineSplitter splitter_;
};
