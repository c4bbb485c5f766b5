#include "cti/CtiClient.h"

#include <QLocalSocket>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace {

// How much Qt reads ahead from the kernel for one client: a client that sends faster
// than its commands run is held back by TCP itself.
constexpr qint64 kReadBufferBytes = 16 * 1024;
// The kernel's share of what waits for a client, fixed rather than grown by the
// kernel: with the client's own bound it keeps a client that stopped reading to a
// known amount of memory, and events are small.
constexpr int kSendBufferBytes = 32 * 1024;
constexpr int kLastWordsMs = 200;

} // namespace

CtiClient::CtiClient(QIODevice* socket, CtiCommandRunner& runner, SnapshotSource snapshot)
    : socket_(socket), runner_(runner), snapshot_(std::move(snapshot))
{
    socket_->setParent(this);
    connect(socket_, &QIODevice::readyRead, this, &CtiClient::Serve);
}

CtiClient::CtiClient(QTcpSocket* socket, CtiCommandRunner& runner, SnapshotSource snapshot)
    : CtiClient(static_cast<QIODevice*>(socket), runner, std::move(snapshot))
{
    isConnected_ = [socket] { return socket->state() == QAbstractSocket::ConnectedState; };
    flush_ = [socket] { socket->flush(); };
    abort_ = [socket] { socket->abort(); };
    socket->setReadBufferSize(kReadBufferBytes);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSendBufferBytes);
    // A client may send its commands and close at once (`echo Hangup | nc -q0 ...`):
    // what it sent still runs, then it is dropped.
    connect(socket, &QTcpSocket::disconnected, this, &CtiClient::OnRemoteClosed);
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            Drop();
    });
}

CtiClient::CtiClient(QLocalSocket* socket, CtiCommandRunner& runner, SnapshotSource snapshot)
    : CtiClient(static_cast<QIODevice*>(socket), runner, std::move(snapshot))
{
    isConnected_ = [socket] { return socket->state() == QLocalSocket::ConnectedState; };
    flush_ = [socket] { socket->flush(); };
    abort_ = [socket] { socket->abort(); };
    socket->setReadBufferSize(kReadBufferBytes);
    connect(socket, &QLocalSocket::disconnected, this, &CtiClient::OnRemoteClosed);
    connect(socket, &QLocalSocket::errorOccurred, this, [this](QLocalSocket::LocalSocketError error) {
        if (error != QLocalSocket::PeerClosedError)
            Drop();
    });
}

void CtiClient::OnRemoteClosed()
{
    remoteClosed_ = true;
    Serve();
}

void CtiClient::Send(const std::string& line)
{
    if (dropped_ || !isConnected_())
        return;
    const std::string text = line + '\n';
    socket_->write(text.data(), static_cast<qint64>(text.size()));
    // Into the kernel now: what stays behind is what the client has not taken.
    flush_();
    const auto pending = static_cast<std::size_t>(socket_->bytesToWrite());
    peakPending_ = std::max(peakPending_, pending);
    if (pending > kMaxPendingBytes)
        Drop();
}

void CtiClient::SendSnapshot()
{
    for (const std::string& line : snapshot_())
        Send(line);
}

void CtiClient::Serve()
{
    serveScheduled_ = false;
    if (dropped_ || serving_)
        return;
    serving_ = true;
    for (int turn = 0; turn < kLinesPerTurn && !dropped_ && runner_.CanStart(); ++turn) {
        const std::optional<CtiLineSplitter::Line> line = NextLine();
        if (!line)
            break;
        Handle(*line);
    }
    serving_ = false;
    // While a command or the phone is busy, the runner's idle call serves it again.
    if (dropped_ || !runner_.CanStart())
        return;
    if (HasInput())
        ScheduleServe();
    else if (remoteClosed_)
        Drop();
}

std::optional<CtiLineSplitter::Line> CtiClient::NextLine()
{
    while (splitter_.WantsInput() && socket_->bytesAvailable() > 0)
        splitter_.Feed(socket_->read(kReadChunk).toStdString());
    return splitter_.Next();
}

bool CtiClient::HasInput() const
{
    return !splitter_.WantsInput() || socket_->bytesAvailable() > 0;
}

void CtiClient::ScheduleServe()
{
    if (serveScheduled_)
        return;
    serveScheduled_ = true;
    QTimer::singleShot(0, this, &CtiClient::Serve);
}

void CtiClient::Handle(const CtiLineSplitter::Line& line)
{
    if (line.tooLong) {
        Send(CtiProtocol::LineTooLong());
        return;
    }
    const CtiProtocol::Request request = CtiProtocol::Interpret(line.text);
    if (!request.refusal.empty())
        Send(request.refusal);
    else if (request.command != nullptr)
        Run(request);
}

void CtiClient::Run(const CtiProtocol::Request& request)
{
    const std::string name(request.command->name);
    if (CtiCommandTable::IsStatus(*request.command)) {
        SendSnapshot();
        Send(CtiProtocol::Ok(name));
        return;
    }
    const std::optional<CtiOutcome> outcome = runner_.Run(*request.command, request.parameter);
    if (!outcome)
        return;
    Send(outcome->ok ? CtiProtocol::Ok(name) : CtiProtocol::Error(name, outcome->code));
    if (outcome->endsProgram) {
        if (!dropped_)
            socket_->waitForBytesWritten(kLastWordsMs);
        runner_.EndProgram();
    }
}

void CtiClient::Drop()
{
    if (dropped_)
        return;
    dropped_ = true;
    abort_();
    emit Dropped();
}
