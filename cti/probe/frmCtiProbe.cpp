#include "cti/probe/frmCtiProbe.h"

#include "cti/AppFolder.h"
#include "cti/CtiRecordFile.h"
#include "cti/CtiRecordText.h"
#include "cti/CtiSocketPath.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpSocket>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kPollMs = 200;
constexpr std::size_t kMaxRecordBytes = 64 * 1024;
constexpr std::size_t kMaxSocketLine = 64 * 1024;
constexpr qsizetype kReadChunk = 4096;
// The logs keep their newest part: a probe left running for days stays small.
constexpr qsizetype kMaxLogChars = 1024 * 1024;
const QString kSeparator = QStringLiteral("=====================");
const QString kCrLf = QStringLiteral("\r\n");

std::string Std(const QString& text)
{
    return text.toStdString();
}

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

QString Entry(const QString& action, const QString& command, const QString& parameter, const QString& message)
{
    return action + command + kCrLf + QStringLiteral("Parameter: ") + parameter + kCrLf + QStringLiteral("Message: ") +
           message + kCrLf;
}

QPlainTextEdit* NewLog(const QString& objectName)
{
    auto* log = new QPlainTextEdit;
    log->setObjectName(objectName);
    log->setReadOnly(true);
    log->setMinimumSize(260, 280);
    return log;
}

} // namespace

frmCtiProbe::frmCtiProbe(QWidget* parent) : frmCtiProbe(AppFolder::Program(), AppFolder::Files(), parent) {}

frmCtiProbe::frmCtiProbe(const QString& programFolder, const QString& filesFolder, QWidget* parent)
    : QWidget(parent), programFolder_(programFolder), filesFolder_(filesFolder), splitter_(kMaxSocketLine)
{
    setObjectName(QStringLiteral("frmCtiProbe"));
    setWindowTitle(QStringLiteral("CTI Probe"));
    socket_ = new QTcpSocket(this);
    local_ = new QLocalSocket(this);
    txtOutPut = NewLog(QStringLiteral("txtOutPut"));
    txtInput = NewLog(QStringLiteral("txtInput"));
    lblStatus = new QLabel;
    lblStatus->setObjectName(QStringLiteral("lblStatus"));

    auto* logs = new QHBoxLayout;
    auto* sent = new QVBoxLayout;
    sent->addWidget(new QLabel(QStringLiteral("Commands sent")));
    sent->addWidget(txtOutPut);
    auto* received = new QVBoxLayout;
    received->addWidget(new QLabel(QStringLiteral("Events received")));
    received->addWidget(txtInput);
    logs->addLayout(sent);
    logs->addLayout(received);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuildCommands());
    layout->addWidget(BuildTransport());
    layout->addWidget(lblStatus);
    layout->addLayout(logs);
    ConnectButtons();

    tmrInputData = new QTimer(this);
    tmrInputData->setObjectName(QStringLiteral("tmrInputData"));
    connect(tmrInputData, &QTimer::timeout, this, &frmCtiProbe::PollOutput);
    tmrInputData->start(kPollMs);
}

QWidget* frmCtiProbe::BuildCommands()
{
    auto* frame = new QGroupBox(QStringLiteral("CTI Mode"));
    frame->setObjectName(QStringLiteral("frameCTIMode"));
    txtDial = new QLineEdit;
    txtDial->setObjectName(QStringLiteral("txtDial"));
    txtDTMF = new QLineEdit;
    txtDTMF->setObjectName(QStringLiteral("txtDTMF"));
    auto* grid = new QGridLayout(frame);
    grid->addWidget(AddButton(QStringLiteral("cmdStart"), QStringLiteral("Start Softphone")), 0, 0);
    grid->addWidget(AddButton(QStringLiteral("cmdShutDown"), QStringLiteral("ShutDown Softphone")), 0, 1);
    grid->addWidget(AddButton(QStringLiteral("cmdDial"), QStringLiteral("Dial")), 1, 0);
    grid->addWidget(txtDial, 1, 1);
    grid->addWidget(AddButton(QStringLiteral("cmdAnswer"), QStringLiteral("Answer")), 2, 0);
    grid->addWidget(AddButton(QStringLiteral("cmdHangup"), QStringLiteral("Hangup")), 2, 1);
    grid->addWidget(AddButton(QStringLiteral("cmdHold"), QStringLiteral("Hold")), 3, 0);
    grid->addWidget(AddButton(QStringLiteral("cmdReject"), QStringLiteral("Reject")), 3, 1);
    grid->addWidget(AddButton(QStringLiteral("cmdSendDTMF"), QStringLiteral("Send DTMF")), 4, 0);
    grid->addWidget(txtDTMF, 4, 1);
    return frame;
}

QWidget* frmCtiProbe::BuildTransport()
{
    auto* frame = new QGroupBox(QStringLiteral("Connection"));
    frame->setObjectName(QStringLiteral("frameConnection"));
    optFileMode = new QRadioButton(QStringLiteral("Text files"));
    optFileMode->setObjectName(QStringLiteral("optFileMode"));
    optFileMode->setChecked(true);
    optTcpMode = new QRadioButton(QStringLiteral("TCP"));
    optTcpMode->setObjectName(QStringLiteral("optTcpMode"));
    optUnixMode = new QRadioButton(QStringLiteral("Unix socket"));
    optUnixMode->setObjectName(QStringLiteral("optUnixMode"));
    txtHost = new QLineEdit(QStringLiteral("127.0.0.1"));
    txtHost->setObjectName(QStringLiteral("txtHost"));
    txtPort = new QLineEdit(QStringLiteral("2500"));
    txtPort->setObjectName(QStringLiteral("txtPort"));
    txtPort->setMaximumWidth(70);
    txtSocketPath = new QLineEdit(CtiSocketPath::For(filesFolder_));
    txtSocketPath->setObjectName(QStringLiteral("txtSocketPath"));
    cmdConnect = AddButton(QStringLiteral("cmdConnect"), QStringLiteral("Connect"));
    auto* grid = new QGridLayout(frame);
    grid->addWidget(optFileMode, 0, 0);
    grid->addWidget(optTcpMode, 0, 1);
    grid->addWidget(txtHost, 0, 2);
    grid->addWidget(txtPort, 0, 3);
    grid->addWidget(cmdConnect, 0, 4, 2, 1);
    grid->addWidget(optUnixMode, 1, 1);
    grid->addWidget(txtSocketPath, 1, 2, 1, 2);
    return frame;
}

QPushButton* frmCtiProbe::AddButton(const QString& objectName, const QString& caption)
{
    auto* button = new QPushButton(caption);
    button->setObjectName(objectName);
    return button;
}

void frmCtiProbe::ConnectButtons()
{
    const auto send = [this](const char* objectName, const QString& command, QLineEdit* parameter) {
        connect(findChild<QPushButton*>(QString::fromLatin1(objectName)), &QPushButton::clicked, this,
                [this, command, parameter] { commandOut(command, parameter ? parameter->text() : QString(), {}); });
    };
    send("cmdShutDown", QStringLiteral("ShutDown"), nullptr);
    send("cmdDial", QStringLiteral("Dial"), txtDial);
    send("cmdAnswer", QStringLiteral("Answer"), nullptr);
    send("cmdHangup", QStringLiteral("Hangup"), nullptr);
    send("cmdHold", QStringLiteral("Hold"), nullptr);
    send("cmdReject", QStringLiteral("RejectCall"), nullptr);
    send("cmdSendDTMF", QStringLiteral("SendDTMF"), txtDTMF);
    connect(findChild<QPushButton*>(QStringLiteral("cmdStart")), &QPushButton::clicked, this,
            &frmCtiProbe::StartSoftphone);
    connect(cmdConnect, &QPushButton::clicked, this, &frmCtiProbe::ToggleConnection);
    connect(socket_, &QTcpSocket::readyRead, this, &frmCtiProbe::ReadSocket);
    connect(socket_, &QTcpSocket::stateChanged, this, &frmCtiProbe::ShowConnectionState);
    connect(socket_, &QTcpSocket::errorOccurred, this, [this] { ShowSocketError(socket_->errorString()); });
    connect(local_, &QLocalSocket::readyRead, this, &frmCtiProbe::ReadSocket);
    connect(local_, &QLocalSocket::stateChanged, this, &frmCtiProbe::ShowConnectionState);
    connect(local_, &QLocalSocket::errorOccurred, this, [this] { ShowSocketError(local_->errorString()); });
}

bool frmCtiProbe::FileExist(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.size() > 0;
}

void frmCtiProbe::commandOut(const QString& command, const QString& parameter, const QString& message)
{
    if (IsSocketMode()) {
        if (!IsConnected()) {
            lblStatus->setText(QStringLiteral("Not connected: ") + command + QStringLiteral(" was not sent"));
            return;
        }
        const QString line = parameter.isEmpty() ? command : command + ' ' + parameter;
        Connection()->write((line + '\n').toUtf8());
    } else {
        // The three keys in one replacement of the file: trn never reads half a command.
        const CtiRecordFile input(Std(filesFolder_ + QStringLiteral("INPUT.INI")));
        if (!input.Write({Std(command), Std(parameter), Std(message)}))
            lblStatus->setText(QStringLiteral("Cannot write ") + Q(input.Path()));
    }
    Prepend(commandLog_, txtOutPut, Entry(QStringLiteral("Actoin: "), command, parameter, message));
}

void frmCtiProbe::commandIn(const QString& command, const QString& parameter, const QString& message)
{
    Prepend(eventLog_, txtInput, Entry(QStringLiteral("Action: "), command, parameter, message));
}

void frmCtiProbe::Prepend(QString& log, QPlainTextEdit* box, const QString& entry)
{
    log = entry + kCrLf + kSeparator + kCrLf + log;
    if (log.size() > kMaxLogChars)
        log.truncate(kMaxLogChars);
    box->setPlainText(QString(log).replace(kCrLf, QStringLiteral("\n")));
}

// The record is taken away before it is read: a record trn writes meanwhile is a new
// file for the next tick, never deleted unread.
void frmCtiProbe::PollOutput()
{
    if (IsSocketMode())
        return;
    const QString path = filesFolder_ + QStringLiteral("OUTPUT.INI");
    if (!FileExist(path))
        return;
    const std::optional<std::string> text = CtiRecordFile(Std(path)).Take(kMaxRecordBytes);
    if (!text)
        return;
    const CtiEventQueue::Record record = CtiRecordText::Parse(*text).record;
    commandIn(Q(record.command), Q(record.parameter), Q(record.message));
}

void frmCtiProbe::StartSoftphone()
{
    const QString program = programFolder_ + QStringLiteral("trn");
    if (QProcess::startDetached(program, {}, programFolder_))
        lblStatus->setText(QStringLiteral("Started ") + program);
    else
        lblStatus->setText(QStringLiteral("Cannot start ") + program);
}

bool frmCtiProbe::IsSocketMode() const
{
    return optTcpMode->isChecked() || optUnixMode->isChecked();
}

QIODevice* frmCtiProbe::Connection() const
{
    if (socket_->state() == QAbstractSocket::ConnectedState)
        return socket_;
    if (local_->state() == QLocalSocket::ConnectedState)
        return local_;
    return nullptr;
}

bool frmCtiProbe::IsConnected() const
{
    return Connection() != nullptr;
}

QString frmCtiProbe::StatusText() const
{
    return lblStatus->text();
}

void frmCtiProbe::ToggleConnection()
{
    if (socket_->state() != QAbstractSocket::UnconnectedState || local_->state() != QLocalSocket::UnconnectedState) {
        socket_->abort();
        local_->abort();
        return;
    }
    splitter_ = CtiLineSplitter(kMaxSocketLine);
    if (optUnixMode->isChecked()) {
        local_->connectToServer(txtSocketPath->text());
        return;
    }
    optTcpMode->setChecked(true);
    socket_->connectToHost(txtHost->text(), static_cast<quint16>(txtPort->text().toUInt()));
}

void frmCtiProbe::ShowConnectionState()
{
    const bool idle =
        socket_->state() == QAbstractSocket::UnconnectedState && local_->state() == QLocalSocket::UnconnectedState;
    cmdConnect->setText(idle ? QStringLiteral("Connect") : QStringLiteral("Disconnect"));
    const QString peer = Connection() == local_ ? txtSocketPath->text() : txtHost->text() + ':' + txtPort->text();
    if (IsConnected())
        lblStatus->setText(QStringLiteral("Connected to ") + peer);
    else if (idle && lblStatus->text().startsWith(QStringLiteral("Connected")))
        lblStatus->setText(QStringLiteral("Disconnected"));
}

void frmCtiProbe::ShowSocketError(const QString& error)
{
    lblStatus->setText(QStringLiteral("Socket: ") + error);
}

void frmCtiProbe::ReadSocket()
{
    while (true) {
        QIODevice* connection = Connection();
        while (connection != nullptr && splitter_.WantsInput() && connection->bytesAvailable() > 0)
            splitter_.Feed(connection->read(kReadChunk).toStdString());
        const std::optional<CtiLineSplitter::Line> line = splitter_.Next();
        if (!line)
            return;
        const CtiEventQueue::Record entry = line->tooLong ? CtiEventQueue::Record{"ERROR", "line too long", ""}
                                                          : EntryForLine(QString::fromUtf8(line->text));
        commandIn(Q(entry.command), Q(entry.parameter), Q(entry.message));
    }
}

CtiEventQueue::Record frmCtiProbe::EntryForLine(const QString& line)
{
    const QStringList fields = line.split('\t');
    const auto field = [&fields](qsizetype i) { return i < fields.size() ? Std(fields[i]) : std::string(); };
    if (fields[0] == QStringLiteral("EVENT"))
        return {field(1), field(2), field(3)};
    if (fields[0] == QStringLiteral("FAILURE"))
        return {"FAILURE", field(1), field(2)};
    if (fields[0] == QStringLiteral("QUALITY"))
        return {"QUALITY", field(1), ""};
    if (fields[0] == QStringLiteral("SNAPSHOT"))
        return {"SNAPSHOT", field(1), Std(fields.mid(2).join(' '))};
    const QStringList words = line.split(' ');
    if (words[0] == QStringLiteral("OK"))
        return {"OK", Std(words.mid(1).join(' ')), ""};
    if (words[0] == QStringLiteral("ERROR"))
        return {"ERROR", Std(words.mid(1, 2).join(' ')), Std(words.mid(3).join(' '))};
    return {Std(line), "", ""};
}
