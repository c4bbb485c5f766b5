#include "cti/CtiServer.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

CtiServer::CtiServer(CtiCommandRunner& runner, CtiClient::SnapshotSource snapshot, QObject* parent)
    : QObject(parent), runner_(runner), snapshot_(std::move(snapshot))
{
    connect(&server_, &QTcpServer::newConnection, this, &CtiServer::Accept);
}

CtiServer::~CtiServer() = default;

bool CtiServer::Listen(const QHostAddress& address, quint16 port)
{
    Close();
    return server_.listen(address, port);
}

void CtiServer::Close()
{
    server_.close();
    for (const auto& client : clients_)
        client->Drop();
    Reap();
}

void CtiServer::Accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (ClientCount() >= kMaxClients) {
            socket->write((CtiProtocol::TooManyClients() + '\n').c_str());
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            continue;
        }
        auto client = std::make_unique<CtiClient>(socket, runner_, snapshot_);
        connect(client.get(), &CtiClient::Dropped, this, &CtiServer::ScheduleReap);
        CtiClient* added = client.get();
        clients_.push_back(std::move(client));
        added->SendSnapshot();
        added->Serve();
    }
}

void CtiServer::Broadcast(const std::string& line)
{
    // Send may drop a client; dropped ones stay in the list until Reap.
    for (std::size_t i = 0; i < clients_.size(); ++i)
        clients_[i]->Send(line);
}

int CtiServer::ClientCount() const
{
    return static_cast<int>(std::count_if(clients_.begin(), clients_.end(),
                                          [](const auto& client) { return !client->IsDropped(); }));
}

std::size_t CtiServer::PeakPendingBytes() const
{
    std::size_t peak = reapedPeak_;
    for (const auto& client : clients_)
        peak = std::max(peak, client->PeakPendingBytes());
    return peak;
}

void CtiServer::ServeAllLater()
{
    QTimer::singleShot(0, this, [this] {
        for (std::size_t i = 0; i < clients_.size(); ++i)
            clients_[i]->Serve();
        Reap();
    });
}

void CtiServer::ScheduleReap()
{
    if (reapScheduled_)
        return;
    reapScheduled_ = true;
    QTimer::singleShot(0, this, &CtiServer::Reap);
}

// Dropped clients go away only when none of their commands is on the stack.
void CtiServer::Reap()
{
    reapScheduled_ = false;
    if (runner_.IsRunning())
        return;
    const auto gone = std::remove_if(clients_.begin(), clients_.end(), [this](const auto& client) {
        if (!client->IsDropped() || client->IsServing())
            return false;
        reapedPeak_ = std::max(reapedPeak_, client->PeakPendingBytes());
        return true;
    });
    clients_.erase(gone, clients_.end());
}
