#pragma once

#include "platform/MessageWindow.h"
#include "platform/TcpListener.h"
#include "platform/TlsContext.h"
#include "sipsyntax/SipStreamFramer.h"
#include "useragent/SipConnection.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The SIP connections of a user agent: one persistent connection per far end
// (transport, address, port), used both ways (RFC 3261 18), the ones this side opens
// and the ones peers open to its listen port. Everything runs on the message loop;
// nothing waits.
//
// What a hostile peer can do is bounded: at most MaxInbound inbound connections (the
// one idle longest gives way to a new one), an inbound connection idle for a minute is
// closed, and so is any connection whose message is not complete ten seconds after
// its first byte, that breaks the framing rules (SipStreamFramer), or that does not
// read what it is sent.
class SipStreams {
public:
    struct Ended {
        SipConnection::Key key;
        // Whether it ever opened: one that never did sent nothing, and its messages may
        // try another server.
        bool opened = false;
        std::string failure;
        std::vector<SipOutgoing> unsent;
        bool carriedRegistration = false;
    };

    class Listener {
    public:
        virtual void OnStreamReceived(const std::string& text, const SipSource& source) = 0;
        virtual void OnStreamWritten(const SipOutgoing& message, const SipConnection::Key& key) = 0;
        // From the loop, never inside a call of SipStreams.
        virtual void OnStreamEnded(Ended ended) = 0;

    protected:
        ~Listener() = default;
    };

    static constexpr unsigned SocketMessage = 0x4E21;
    static constexpr unsigned ListenMessage = 0x4E22;
    static constexpr unsigned EndedMessage = 0x4E23;
    static constexpr unsigned SweepTimer = 1;
    static constexpr std::size_t MaxInbound = 128;
    static constexpr std::int64_t InboundIdleMs = 60000;
    static constexpr std::int64_t MessageCompletionMs = 10000;
    static constexpr std::int64_t OpeningTimeoutMs = 8000;
    static constexpr std::size_t MaxQueuedBytes = 1024 * 1024;
    // Connections taken per readiness notice of the listen socket.
    static constexpr int AcceptsPerNotice = 64;

    SipStreams(MessageLoop& loop, Listener& listener);
    ~SipStreams();
    SipStreams(const SipStreams&) = delete;
    SipStreams& operator=(const SipStreams&) = delete;

    // Accepts TCP connections on the listen address; false when the port is taken.
    bool Listen(const std::string& bindIp, int port);
    // Closes every connection and the listen socket; nothing is reported.
    void CloseAll();
    // Queues a message on the connection to `key`, opening one when there is none (TLS:
    // the server's certificate must name `serverName`).
    void Send(const SipConnection::Key& key, const std::string& serverName, SipOutgoing message);
    // A keep-alive ping (CRLF CRLF) on the open connection to `key`; false without one.
    bool Ping(const SipConnection::Key& key);
    // Handles what the sockets have ready, for a caller that waits without the loop.
    void ProcessNow();
    std::size_t InboundCount() const;

private:
    using Id = std::uint64_t;

    SipConnection* Find(Id id);
    Id Add(std::unique_ptr<SipConnection> connection);
    void Open(const SipConnection::Key& key, const std::string& serverName);
    void Flush(Id id);
    void OnSocket(int fd, bool readable, bool writable);
    void HandleItems(Id id, const SipSource& source, std::vector<SipStreamFramer::Item>& items);
    void AcceptWaiting();
    void EvictOldestIdleInbound();
    void End(Id id, const std::string& why = {});
    void DeliverEnded();
    void Sweep();
    void ArmSweep();
    void Watch(Id id);

    MessageWindow window_;
    Listener& listener_;
    TcpListener tcpListener_;
    std::unique_ptr<TlsContext> tls_;
    Id nextId_ = 1;
    std::map<Id, std::unique_ptr<SipConnection>> connections_;
    std::map<int, Id> byDescriptor_;
    std::map<SipConnection::Key, Id> byKey_;
    std::vector<Ended> ended_;
};
