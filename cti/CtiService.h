#pragma once

#include "cti/CtiCallState.h"
#include "cti/CtiCommandRunner.h"
#include "cti/CtiEventQueue.h"
#include "cti/CtiFileInterface.h"
#include "cti/CtiServer.h"

#include <QObject>

#include <string>
#include <vector>

// The CTI side of trn: the text-file interface (always on), the socket (TCP on a
// loopback address and a Unix-domain socket, when the settings ask for it) and the
// commands both run on the phone. Every record the
// phone produces comes through here: queued ones reach OUTPUT.INI one per consumed
// file, direct ones at once, and socket clients get both as they happen.
class CtiService : public QObject {
    Q_OBJECT

public:
    CtiService(CtiPhone& phone, const std::string& folder, QObject* parent = nullptr);
    ~CtiService() override;

    // The text files start being read and written.
    void Start();
    // The phone has finished what kept it busy: commands that waited may run.
    void PhoneIdle() { runner_.NotifyIdle(); }

    CtiEventQueue& Queue() { return queue_; }
    CtiFileInterface& Files() { return *files_; }
    CtiServer& Server() { return *server_; }
    // To be connected to the control after the main window's own sink.
    OrvSIPUserAgentOCXEvents& ControlSink() { return callState_; }

    // The phone hung up its call itself: the control raises no event for that, and the
    // next call must not read as connected before its own events arrive.
    void CallEndedHere() { callState_.CallEndedHere(); }

    void QueueCtiEvent(const std::string& command, const std::string& parameter, const std::string& message);
    // The figures a call ended with, to socket clients only (the text files keep
    // their records as they are).
    void PublishQuality(const std::string& figures);
    void WriteCtiOutput(const CtiEventQueue::Record& record);

    // The socket listens when enabled, on `address` (127.0.0.1 when empty; any other
    // address than a loopback one is refused) at the decimal `port`, and on the
    // folder's Unix-domain socket (CtiSocketPath); otherwise, or when it cannot,
    // nothing listens (false then). Clients stay connected while address and port
    // stay the same.
    bool ConfigureSocket(bool enabled, const std::string& port, const std::string& address);
    // The Unix-domain socket listened on, empty when none.
    QString LocalSocketPath() const { return server_->LocalPath(); }

    std::vector<std::string> SnapshotLines();

signals:
    void QueueShown(const QString& mirror);

private:
    void Publish(const std::string& line);
    void NoteError(const CtiEventQueue::Record& record);
    void PublishFailure(int statusCode, const std::string& reason, const std::string& contact);
    std::string LineState(const CtiLineStatus& status) const;
    void ListenLocally();

    CtiPhone& phone_;
    CtiEventQueue queue_;
    CtiCommandRunner runner_;
    CtiCallState callState_;
    CtiFileInterface* files_;
    CtiServer* server_;
    CtiEventQueue::Record lastError_;
    QString folder_;
};
