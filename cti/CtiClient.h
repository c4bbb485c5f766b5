#pragma once

#include "cti/CtiCommandRunner.h"
#include "cti/CtiLineSplitter.h"
#include "cti/CtiProtocol.h"

#include <QObject>

#include <functional>
#include <string>
#include <vector>

class QIODevice;
class QLocalSocket;
class QTcpSocket;

// One client of the CTI socket, over TCP or the Unix-domain socket. Its lines run as
// commands one at a time (and never while another command runs); what trn sends it
// goes out at once. A client that does not read is dropped once more than
// kMaxPendingBytes wait for it, so it never holds up trn or the other clients.
class CtiClient : public QObject {
    Q_OBJECT

public:
    static constexpr std::size_t kMaxPendingBytes = 64 * 1024;

    using SnapshotSource = std::function<std::vector<std::string>()>;

    // Takes the socket over (it becomes this object's child).
    CtiClient(QTcpSocket* socket, CtiCommandRunner& runner, SnapshotSource snapshot);
    CtiClient(QLocalSocket* socket, CtiCommandRunner& runner, SnapshotSource snapshot);

    bool IsDropped() const { return dropped_; }
    // Whether one of its commands is on the stack: it may not be deleted then.
    bool IsServing() const { return serving_; }
    std::size_t PeakPendingBytes() const { return peakPending_; }

    void Send(const std::string& line);
    void SendSnapshot();
    // Runs the lines the client sent, a few per turn, as long as no command runs.
    void Serve();
    void Drop();

signals:
    void Dropped();

private:
    static constexpr std::size_t kReadChunk = 4096;

    CtiClient(QIODevice* socket, CtiCommandRunner& runner, SnapshotSource snapshot);
    // The far end closed; what it sent still runs, then it is dropped.
    void OnRemoteClosed();
    static constexpr int kLinesPerTurn = 32;

    std::optional<CtiLineSplitter::Line> NextLine();
    bool HasInput() const;
    void Handle(const CtiLineSplitter::Line& line);
    void Run(const CtiProtocol::Request& request);
    void ScheduleServe();

    QIODevice* socket_;
    std::function<bool()> isConnected_;
    std::function<void()> flush_;
    std::function<void()> abort_;
    CtiCommandRunner& runner_;
    SnapshotSource snapshot_;
    CtiLineSplitter splitter_{CtiProtocol::kMaxLineBytes};
    bool dropped_ = false;
    bool remoteClosed_ = false;
    bool serving_ = false;
    bool serveScheduled_ = false;
    std::size_t peakPending_ = 0;
};
