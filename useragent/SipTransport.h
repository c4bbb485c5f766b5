#pragma once

#include "platform/DnsCache.h"
#include "platform/DnsResolver.h"
#include "platform/MessageWindow.h"
#include "useragent/SipDestination.h"
#include "useragent/SipOutgoing.h"
#include "useragent/SipServerLocator.h"
#include "useragent/SipStreams.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

class UdpSocket;

// How the SIP engine's messages leave and arrive. The engine says where a message goes
// (SipDestination); this finds the server (SipServerLocator: the address itself, or a
// domain's NAPTR and SRV records), its address (kept from an earlier answer while
// fresh, DnsCache, otherwise looked up without blocking, DnsResolver, the messages
// waiting for a name then sent in their order), and the transport: a datagram of the
// SIP socket, or the connection to that server (SipStreams), opened when there is none,
// with the transport written into the message's Via and Contact. What arrives, as
// datagrams or over connections, goes to the listener.
//
// The listener hears of a message when the system took it, and only then. A message
// that cannot leave (its name does not resolve, no server of its domain takes the
// connection, the system refuses it for good) is told to its owner later, from the
// loop, never inside the call that sent it; after a refusal the name is looked up
// again. A datagram the system has no room for right now is neither: the
// retransmission of the request tries again.
class SipTransport : private SipStreams::Listener {
public:
    using Owner = SipOwner;

    class Listener {
    public:
        virtual void OnMessageSent(const std::string& text, const Owner& owner, SipTransportKind transport,
                                   const std::string& address, int port) = 0;
        virtual void OnMessageNotSent(const Owner& owner, const std::string& text) = 0;
        virtual void OnMessageReceived(const std::string& text, const SipSource& source) = 0;
        // Why a connection to a server could not be made or broke, to be shown.
        virtual void OnTransportProblem(const std::string& text, const std::string& address, int port) = 0;
        // The connection the registration's messages took broke.
        virtual void OnRegistrationConnectionLost() = 0;

    protected:
        ~Listener() = default;
    };

    static constexpr unsigned SocketMessage = 0x373;
    static constexpr unsigned NotSentMessage = 0x4E11;
    // The largest datagram IPv4 carries.
    static constexpr std::size_t MaxDatagramSize = 65507;
    // The largest UDP payload: real INVITEs outgrow 4 KiB (RFC 3261 18.1.1).
    static constexpr std::size_t ReceiveBufferSize = 65535;
    // Messages waiting for look-ups at most: a peer naming ever new hosts in its Via
    // headers must not fill memory or start a look-up storm.
    static constexpr std::size_t MaxWaiting = 256;

    SipTransport(MessageLoop& loop, UdpSocket& socket, Listener& listener);
    SipTransport(const SipTransport&) = delete;
    SipTransport& operator=(const SipTransport&) = delete;

    // Reads the SIP socket (open already) from now on, and takes TCP connections on the
    // same port when it is free for TCP too.
    bool Start(const std::string& bindIp, int port);
    // Forgets every connection and every message waiting: the socket is closing.
    void Stop();
    // A quiet message (the keep-alive) is neither announced nor told when it fails.
    void Send(const std::string& text, const SipDestination& destination, const Owner& owner, bool quiet = false);
    // The registration's keep-alive: CRLF CRLF on its connection, or a CRLF datagram.
    void KeepAlive(const SipDestination& registrar);
    // Whether the registration's last message went over a connection.
    bool RegistrationUsesConnection() const { return registrationKey_.has_value(); }
    // The destination's server answered 503 or not at all: its next messages go to the
    // next server of its domain. False when there is none left to try.
    bool MoveToNextServer(const SipDestination& destination) { return locator_.MoveOn(destination); }
    // The dotted address of a host when it is known without asking a server (a dotted
    // address, a fresh answer, the hosts file); empty otherwise.
    std::string KnownAddress(const std::string& host);
    // Lets look-ups finish, datagrams and connections be read and messages leave, for
    // a caller that waits without running the loop.
    void ProcessNow();

private:
    using Outgoing = SipOutgoing;

    std::optional<std::uint32_t> AddressNow(const std::string& host);
    void TryTarget(Outgoing message);
    void TryNextTarget(Outgoing message);
    void SendTo(Outgoing message, std::uint32_t address);
    void SendDatagram(const Outgoing& message, std::uint32_t address);
    void Wait(Outgoing message, const std::string& host);
    void OnLookedUp(const std::string& host, const DnsResolver::Answer& answer);
    void TellNotSent(Outgoing message);
    void DeliverNotSent();
    void ReceiveDatagram();
    void NoteSent(const Outgoing& message, SipTransportKind transport, std::uint32_t address, int port);

    void OnStreamReceived(const std::string& text, const SipSource& source) override;
    void OnStreamWritten(const SipOutgoing& message, const SipConnection::Key& key) override;
    void OnStreamEnded(SipStreams::Ended ended) override;

    UdpSocket& socket_;
    Listener& listener_;
    MessageWindow window_;
    DnsResolver resolver_;
    DnsCache cache_;
    SipServerLocator locator_;
    SipStreams streams_;
    // Messages waiting for the address of their host, by host.
    std::map<std::string, std::vector<Outgoing>> waiting_;
    std::size_t waitingCount_ = 0;
    // Messages waiting for their domain to be located.
    std::size_t locating_ = 0;
    std::vector<Outgoing> notSent_;
    std::optional<SipConnection::Key> registrationKey_;
    std::vector<char> receiveBuffer_ = std::vector<char>(ReceiveBufferSize);
};
