#pragma once

#include "cti/CtiClient.h"

#include <QHostAddress>
#include <QLocalServer>
#include <QObject>
#include <QTcpServer>

#include <memory>
#include <string>
#include <vector>

// The CTI socket: a TCP server on a loopback address and a Unix-domain socket, for up
// to kMaxClients clients at once. Only trn's own user is served: a connection from a
// process of another user is closed before the snapshot or any byte. Every client
// gets the snapshot when it connects and every event line as it happens.
class CtiServer : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxClients = 32;

    CtiServer(CtiCommandRunner& runner, CtiClient::SnapshotSource snapshot, QObject* parent = nullptr);
    ~CtiServer() override;

    bool Listen(const QHostAddress& address, quint16 port);
    // The Unix-domain socket at `path` (a stale socket there is replaced).
    bool ListenLocal(const QString& path);
    // Stops listening on both and drops every client.
    void Close();
    bool IsListening() const { return server_.isListening(); }
    QHostAddress Address() const { return server_.serverAddress(); }
    quint16 Port() const { return server_.serverPort(); }
    QString LocalPath() const { return local_.isListening() ? local_.fullServerName() : QString(); }

    void Broadcast(const std::string& line);
    int ClientCount() const;
    // Connections closed at once because another user made them.
    int RefusedCount() const { return refused_; }
    // The most bytes that ever waited for one client: stays near the per-client bound.
    std::size_t PeakPendingBytes() const;
    // After a command: the lines that waited for it run now.
    void ServeAllLater();

private:
    void Accept();
    void AcceptLocal();
    bool IsOwnUsers(const QTcpSocket& socket) const;
    template <typename Socket> void Admit(Socket* socket);
    void Reap();
    void ScheduleReap();

    CtiCommandRunner& runner_;
    CtiClient::SnapshotSource snapshot_;
    QTcpServer server_;
    QLocalServer local_;
    std::vector<std::unique_ptr<CtiClient>> clients_;
    std::size_t reapedPeak_ = 0;
    bool reapScheduled_ = false;
    int refused_ = 0;
};
