#pragma once

#include "platform/DnsCache.h"
#include "platform/DnsResolver.h"
#include "platform/MessageWindow.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class UdpSocket;

// How the SIP engine's messages leave its socket. A message to a dotted address goes
// at once; one to a host name as soon as the name's address is known: kept from an
// earlier answer while fresh (DnsCache), otherwise looked up without blocking
// (DnsResolver), the messages waiting for the name then sent in their order.
//
// The listener hears of a message when the system took its datagram, and only then.
// A message that cannot leave (its name does not resolve, the system refuses it for
// good) is told to its owner later, from the loop, never inside the call that sent
// it; after a refusal the name is looked up again. A datagram the system has no room
// for right now is neither: the retransmission of the request tries again.
class SipTransport {
public:
    // Who a message belongs to, to be told when it cannot leave.
    struct Owner {
        enum class Kind { Nobody, Call, Registration };
        Kind kind = Kind::Nobody;
        std::uint64_t callSerial = 0;
    };

    class Listener {
    public:
        virtual void OnMessageSent(const std::string& text, const std::string& address, int port) = 0;
        virtual void OnMessageNotSent(const Owner& owner, const std::string& text) = 0;

    protected:
        ~Listener() = default;
    };

    static constexpr unsigned NotSentMessage = 0x4E11;
    // The largest datagram IPv4 carries.
    static constexpr std::size_t MaxDatagramSize = 65507;
    // Messages waiting for look-ups at most: a peer naming ever new hosts in its Via
    // headers must not fill memory or start a look-up storm.
    static constexpr std::size_t MaxWaiting = 256;

    SipTransport(MessageLoop& loop, UdpSocket& socket, Listener& listener);
    SipTransport(const SipTransport&) = delete;
    SipTransport& operator=(const SipTransport&) = delete;

    // A quiet message (the keep-alive) is neither announced nor told when it fails.
    void Send(const std::string& text, const std::string& host, int port, const Owner& owner, bool quiet = false);
    // The dotted address of a host when it is known without asking a server (a dotted
    // address, a fresh answer, the hosts file); empty otherwise.
    std::string KnownAddress(const std::string& host);
    // Forgets the messages waiting for look-ups: their socket is closing.
    void DropWaiting();
    // Lets look-ups finish and their messages leave, for a caller that waits without
    // running the loop.
    void ProcessLookups() { resolver_.ProcessNow(); }

private:
    struct Outgoing {
        std::string text;
        int port;
        Owner owner;
        bool quiet;
    };

    std::optional<std::uint32_t> AddressNow(const std::string& host);
    void SendTo(const Outgoing& message, const std::string& host, std::uint32_t address);
    void Wait(Outgoing message, const std::string& host);
    void OnLookedUp(const std::string& host, const DnsResolver::Answer& answer);
    void TellNotSent(Outgoing message);
    void DeliverNotSent();

    UdpSocket& socket_;
    Listener& listener_;
    MessageWindow window_;
    DnsResolver resolver_;
    DnsCache cache_;
    // Messages waiting for the address of their host, by host.
    std::map<std::string, std::vector<Outgoing>> waiting_;
    std::size_t waitingCount_ = 0;
    std::vector<Outgoing> notSent_;
};
