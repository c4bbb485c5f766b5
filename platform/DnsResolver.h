#pragma once

#include "platform/MessageWindow.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct ares_channeldata;

// Looks the IPv4 address of a host name, or its SRV or NAPTR records, up without ever
// blocking the thread of its message loop. Names that need no query are answered from here: under
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

    enum class RecordType { Srv, Naptr };
    struct ServiceRecord {
        int priority = 0;
        int weight = 0;
        int port = 0;
        std::string target;
    };
    struct NaptrRecord {
        int order = 0;
        int preference = 0;
        std::string flags;
        std::string service;
        std::string replacement;
    };
    // What a name holds of one record type; found is false when it holds none (or the
    // look-up failed).
    struct Records {
        bool found = false;
        // No server answered (or none may be asked): the name's other records are
        // not worth asking for either.
        bool unanswered = false;
        std::vector<ServiceRecord> services;
        std::vector<NaptrRecord> naptrs;
        int ttlSeconds = UnknownTtl;
    };
    using RecordsDone = std::function<void(const Records&)>;

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
    // Names that need no query (see above) have no records.
    void LookupRecords(const std::string& name, RecordType type, RecordsDone done);
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
    // Whether a name may be asked of a DNS server at all.
    bool MayQuery(const std::string& name);
    void Complete(std::function<void()> deliver);
    void DeliverAnswers();
    void OnWindowMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    void OnSocketState(int fd, bool readable, bool writable);
    void ProcessSocket(int fd, bool readable, bool writable);
    void ArmTimeout();
    static void OnSocketStateChanged(void* data, int fd, int readable, int writable);
    static void OnAddressInfo(void* data, int status, int timeouts, struct ares_addrinfo* result);
    static void OnRecords(void* data, int status, int timeouts, unsigned char* answer, int length);

    MessageWindow window_;
    ares_channeldata* channel_ = nullptr;
    bool channelFailed_ = false;
    // ORVSIP_DNS_SERVER names no usable server: no query goes anywhere.
    bool noServer_ = false;
    // The sockets c-ares asked the loop to watch: descriptor -> wants to write.
    std::map<int, bool> sockets_;
    std::vector<std::function<void()>> answers_;
    std::size_t inFlight_ = 0;
};
