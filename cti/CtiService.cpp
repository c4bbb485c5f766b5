#include "cti/CtiService.h"

#include "cti/CtiProtocol.h"
#include "cti/CtiSocketPath.h"
#include "platform/PrivateFolder.h"

#include <QtGlobal>

#include <charconv>

namespace {

const char* const kLoopback = "127.0.0.1";

// A port is 1 to 65535 written in decimal digits, nothing else.
std::optional<quint16> PortOf(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    while (!text.empty() && text.front() == ' ')
        text.erase(0, 1);
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value == 0 || value > 65535)
        return std::nullopt;
    return static_cast<quint16>(value);
}

bool IsErrorRecord(const CtiEventQueue::Record& record)
{
    return record.command == "ERROR" || record.command == "nErr" || record.command == "SERVER ERROR";
}

} // namespace

CtiService::CtiService(CtiPhone& phone, const std::string& folder, QObject* parent)
    : QObject(parent), phone_(phone), runner_(phone),
      callState_([this](int code, const std::string& reason, const std::string& contact) {
          PublishFailure(code, reason, contact);
      }),
      folder_(QString::fromStdString(folder))
{
    files_ = new CtiFileInterface(folder, queue_, runner_, this);
    server_ = new CtiServer(runner_, [this] { return SnapshotLines(); }, this);
    runner_.OnIdle([this] { server_->ServeAllLater(); });
    connect(files_, &CtiFileInterface::QueueShown, this, &CtiService::QueueShown);
}

CtiService::~CtiService() = default;

void CtiService::Start()
{
    files_->Start();
}

void CtiService::QueueCtiEvent(const std::string& command, const std::string& parameter,
                               const std::string& message)
{
    if (command.empty())
        return;
    queue_.QueueCtiEvent(command, parameter, message);
    const CtiEventQueue::Record record = CtiEventQueue::QueuedForm(command, parameter, message);
    NoteError(record);
    Publish(CtiProtocol::Event(record));
}

void CtiService::WriteCtiOutput(const CtiEventQueue::Record& record)
{
    files_->WriteCtiOutput(record);
    NoteError(record);
    Publish(CtiProtocol::Event(record));
}

void CtiService::PublishQuality(const std::string& figures)
{
    Publish(CtiProtocol::Quality(figures));
}

void CtiService::Publish(const std::string& line)
{
    server_->Broadcast(line);
}

void CtiService::NoteError(const CtiEventQueue::Record& record)
{
    if (IsErrorRecord(record))
        lastError_ = record;
}

void CtiService::PublishFailure(int statusCode, const std::string& reason, const std::string& contact)
{
    lastError_ = {"FAILURE", std::to_string(statusCode), reason};
    Publish(CtiProtocol::Failure(statusCode, reason, contact));
}

bool CtiService::ConfigureSocket(bool enabled, const std::string& port, const std::string& address)
{
    if (!enabled) {
        server_->Close();
        return true;
    }
    const std::optional<quint16> number = PortOf(port);
    const QHostAddress host(QString::fromStdString(address.empty() ? kLoopback : address));
    if (!number || host.isNull()) {
        qWarning("CTI socket: no valid address and port in \"%s\" and \"%s\"; nothing listens", address.c_str(),
                 port.c_str());
        server_->Close();
        return false;
    }
    // A client on another machine cannot be told from anyone else there.
    if (!host.isLoopback()) {
        qWarning("CTI socket: %s is not a loopback address; nothing listens (reach it through an SSH tunnel)",
                 address.c_str());
        server_->Close();
        return false;
    }
    if (server_->IsListening() && server_->Address() == host && server_->Port() == *number)
        return true;
    if (!server_->Listen(host, *number)) {
        qWarning("CTI socket: cannot listen on %s port %u", qPrintable(host.toString()), *number);
        return false;
    }
    ListenLocally();
    return true;
}

void CtiService::ListenLocally()
{
    const QString path = CtiSocketPath::For(folder_);
    const bool inRuntime = !path.isEmpty() && !path.startsWith(folder_);
    if (inRuntime && !(PrivateFolder::Create(CtiSocketPath::RuntimeFolder().toStdString()) &&
                       PrivateFolder::IsPrivate(CtiSocketPath::RuntimeFolder().toStdString()))) {
        qWarning("CTI socket: %s is not a folder of this user alone; no Unix-domain socket",
                 qPrintable(CtiSocketPath::RuntimeFolder()));
        return;
    }
    if (path.isEmpty() || !server_->ListenLocal(path)) {
        qWarning("CTI socket: no Unix-domain socket for %s", qPrintable(folder_));
        return;
    }
    qInfo("CTI socket: %s", qPrintable(path));
}

std::vector<std::string> CtiService::SnapshotLines()
{
    const CtiLineStatus status = phone_.LineStatus();
    CtiSnapshot snapshot;
    snapshot.registration = callState_.Registration();
    snapshot.line = LineState(status);
    snapshot.pending = status.pending;
    if (status.busy || status.held) {
        snapshot.peer = status.peer;
        snapshot.codec = status.codec;
    }
    if (snapshot.line == "CONNECTED" || snapshot.line == "HELD")
        snapshot.quality = status.quality;
    snapshot.lastError = lastError_;
    return CtiProtocol::Snapshot(snapshot);
}

std::string CtiService::LineState(const CtiLineStatus& status) const
{
    if (status.held)
        return "HELD";
    if (status.busy)
        return callState_.CallProgress() == CtiCallState::Progress::Connected ? "CONNECTED" : "DIALLING";
    return status.pending.empty() ? "IDLE" : "RINGING";
}
