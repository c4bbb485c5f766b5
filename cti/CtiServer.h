#pragma once

#include "cti/CtiClient.h"

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

#include <memory>
#include <string>
#include <vector>

// The CTI socket: a TCP server for up to kMaxClients clients at once. Every client
// gets the snapshot when it connects and every event line as it happens.
class CtiServer : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxClients = 32;

    CtiServer(CtiCommandRunner& runner, CtiClient::SnapshotSource snapshot, QObject* parent = nullptr);
    ~CtiServer() override;

    bool Listen(const QHostAddress& address, quint16 port);
    // Stops listening and drops every client.
    void Close();
    bool IsListening() const { return server_.isListening(); }
    QHostAddress Address() const { return server_.serverAddress(); }
    quint16 Port() const { return server_.serverPort(); }

    void Broadcast(const std::string& line);
    int ClientCount() const;
    // The most bytes that ever waited for one client: stays near the per-client bound.
    std::size_t PeakPendingBytes() const;
    // After a command: the lines that waited for it run now.
    void ServeAllLater();

private:
    void Accept();
    void Reap();
    void ScheduleReap();

    CtiCommandRunner& runner_;
    CtiClient::SnapshotSource snapshot_;
    QTcpServer server_;
    std::vector<std::unique_ptr<CtiClient>> clients_;
    std::size_t reapedPeak_ = 0;
    bool reapScheduled_ = false;
};
