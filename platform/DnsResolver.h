#pragma once

#include "platform/MessageWindow.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct ares_channeldata;

// Looks the IPv4 address of a host name up without ever blocking the thread of its
// message loop. Names that need no query are answered from here: under
// NetworkConfinement none, names under the reserved "invalid" domain never, and
// "localhost" and its subdomains as 127.0.0.1 (RFC 6761); then the hosts file; then
// DNS through c-ares, whose sockets and timers the loop runs. The DNS servers are the
// system's, or the one ORVSIP_DNS_SERVER names ("127.0.0.1:5353"; a value that is not
// an IPv4 address with an optional port leaves no server, so nothing is asked).
//
// Every answer reaches its callback from the loop, never inside LookupAddress.
class DnsResolver {
public:
    // The time to live of an answer that tells none (the hosts file).
    static constexpr int UnknownTtl = -1;

    struct Answer {
        bool found = false;
        std::uint32_t address = 0; // network byte order
        // Seconds the answer may be kept.
        int ttlSeconds = UnknownTtl;
    };
    using Done = std::function<void(const Answer&)>;

    static constexpr unsigned SocketMessage = 0x4E01;
    static constexpr unsigned AnswersMessage = 0x4E02;
    static constexpr unsigned TimeoutTimer = 1;
    static constexpr int QueryTimeoutMs = 1000;
    static constexpr int QueryTries = 2;

    explicit DnsResolver(MessageLoop& loop);
    ~DnsResolver();
    DnsResolver(const DnsResolver&) = delete;
    DnsResolver& operator=(const DnsResolver&) = delete;

    void LookupAddress(const std::string& name, Done done);
    // The answer known without asking a server (confinement, the reserved names, the
    // hosts file); nothing when a query would be needed.
    std::optional<Answer> LocalAnswer(const std::string& name);
    // Handles what the resolver's sockets and timers have due and hands out the
    // answers that are in, for a caller that waits without running the loop.
    void ProcessNow();
    // Lookups asked and not yet answered.
    std::size_t InFlight() const { return inFlight_; }

private:
    struct Query;

    bool OpenChannel();
    void Complete(Done done, const Answer& answer);
    void DeliverAnswers();
    void OnWindowMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    void OnSocketState(int fd, bool readable, bool writable);
    void ProcessSocket(int fd, bool readable, bool writable);
    void ArmTimeout();
    static void OnSocketStateChanged(void* data, int fd, int readable, int writable);
    static void OnAddressInfo(void* data, int status, int timeouts, struct ares_addrinfo* result);

    MessageWindow window_;
    ares_channeldata* channel_ = nullptr;
    bool channelFailed_ = false;
    // ORVSIP_DNS_SERVER names no usable server: no query goes anywhere.
    bool noServer_ = false;
    // The sockets c-ares asked the loop to watch: descriptor -> wants to write.
    std::map<int, bool> sockets_;
    std::vector<std::pair<Done, Answer>> answers_;
    std::size_t inFlight_ = 0;
};
