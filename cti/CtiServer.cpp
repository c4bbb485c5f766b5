#include "cti/CtiServer.h"

#include "platform/SocketPeer.h"

#include <QLocalSocket>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstring>

namespace {

SocketPeer::Endpoint EndpointOf(const QHostAddress& address, quint16 port)
{
    SocketPeer::Endpoint endpoint;
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    std::memcpy(endpoint.address.data(), bytes.c, endpoint.address.size());
    endpoint.port = port;
    return endpoint;
}

// One line, then the connection closes; the socket goes once it has.
void TurnAway(QTcpSocket* socket, const std::string& line)
{
    socket->write((line + '\n').c_str());
    socket->disconnectFromHost();
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

void TurnAway(QLocalSocket* socket, const std::string& line)
{
    socket->write((line + '\n').c_str());
    socket->disconnectFromServer();
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
}

} // namespace

CtiServer::CtiServer(CtiCommandRunner& runner, CtiClient::SnapshotSource snapshot, QObject* parent)
    : QObject(parent), runner_(runner), snapshot_(std::move(snapshot))
{
    connect(&server_, &QTcpServer::newConnection, this, &CtiServer::Accept);
    connect(&local_, &QLocalServer::newConnection, this, &CtiServer::AcceptLocal);
    local_.setSocketOptions(QLocalServer::UserAccessOption);
}

CtiServer::~CtiServer() = default;

bool CtiServer::Listen(const QHostAddress& address, quint16 port)
{
    Close();
    return server_.listen(address, port);
}

bool CtiServer::ListenLocal(const QString& path)
{
    local_.close();
    QLocalServer::removeServer(path);
    return local_.listen(path);
}

void CtiServer::Close()
{
    server_.close();
    local_.close();
    for (const auto& client : clients_)
        client->Drop();
    Reap();
}

void CtiServer::Accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (IsOwnUsers(*socket)) {
            Admit(socket);
            continue;
        }
        ++refused_;
        socket->abort();
        socket->deleteLater();
    }
}

void CtiServer::AcceptLocal()
{
    while (QLocalSocket* socket = local_.nextPendingConnection()) {
        const auto owner = SocketPeer::UnixPeerUid(static_cast<int>(socket->socketDescriptor()));
        if (owner == SocketPeer::OwnUid()) {
            Admit(socket);
            continue;
        }
        ++refused_;
        socket->abort();
        socket->deleteLater();
    }
}

// Nobody can tell who a client on another machine is: only this machine's loopback
// is listened on, and the kernel says which user owns the client's end.
bool CtiServer::IsOwnUsers(const QTcpSocket& socket) const
{
    const auto owner = SocketPeer::TcpPeerUid(EndpointOf(socket.peerAddress(), socket.peerPort()),
                                              EndpointOf(socket.localAddress(), socket.localPort()));
    return owner == SocketPeer::OwnUid();
}

template <typename Socket> void CtiServer::Admit(Socket* socket)
{
    if (ClientCount() >= kMaxClients) {
        TurnAway(socket, CtiProtocol::TooManyClients());
        return;
    }
    auto client = std::make_unique<CtiClient>(socket, runner_, snapshot_);
    connect(client.get(), &CtiClient::Dropped, this, &CtiServer::ScheduleReap);
    CtiClient* added = client.get();
    clients_.push_back(std::move(client));
    added->SendSnapshot();
    added->Serve();
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
