#include "platform/DnsResolver.h"

#include "platform/NetworkConfinement.h"

#include <ares.h>
#include <arpa/nameser.h>
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <memory>
#include <mutex>

struct DnsResolver::Query {
    DnsResolver* resolver;
    Done done;
    RecordsDone recordsDone;
    RecordType type = RecordType::Srv;
};

namespace {

std::string Lowered(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    if (!name.empty() && name.back() == '.')
        name.pop_back();
    return name;
}

bool IsOrUnder(const std::string& name, const std::string& domain)
{
    return name == domain ||
           (name.size() > domain.size() && name.compare(name.size() - domain.size() - 1, std::string::npos,
                                                        "." + domain) == 0);
}

// "A.B.C.D" or "A.B.C.D:PORT".
bool IsServerAddress(const std::string& text)
{
    const std::size_t colon = text.find(':');
    in_addr address{};
    if (inet_pton(AF_INET, text.substr(0, colon).c_str(), &address) != 1)
        return false;
    if (colon == std::string::npos)
        return true;
    const std::string port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), ::isdigit))
        return false;
    const long number = std::strtol(port.c_str(), nullptr, 10);
    return number >= 1 && number <= 65535;
}

// The shortest time to live of the answer records of a DNS message; UnknownTtl when it
// holds none that can be read.
int MinimumTtl(const unsigned char* message, int length)
{
    constexpr int HeaderBytes = 12;
    if (length < HeaderBytes)
        return DnsResolver::UnknownTtl;
    const int questions = (message[4] << 8) | message[5];
    const int answers = (message[6] << 8) | message[7];
    const unsigned char* at = message + HeaderBytes;
    const unsigned char* end = message + length;
    auto skipName = [&] {
        char* name = nullptr;
        long encoded = 0;
        if (ares_expand_name(at, message, length, &name, &encoded) != ARES_SUCCESS)
            return false;
        ares_free_string(name);
        at += encoded;
        return at <= end;
    };
    for (int question = 0; question < questions; ++question) {
        if (!skipName() || end - at < 4)
            return DnsResolver::UnknownTtl;
        at += 4;
    }
    long shortest = -1;
    for (int answer = 0; answer < answers; ++answer) {
        if (!skipName() || end - at < 10)
            break;
        const long ttl = (static_cast<long>(at[4]) << 24) | (at[5] << 16) | (at[6] << 8) | at[7];
        shortest = shortest < 0 ? ttl : std::min(shortest, ttl);
        at += 10 + ((at[8] << 8) | at[9]);
    }
    return shortest < 0 ? DnsResolver::UnknownTtl : static_cast<int>(std::min(shortest, static_cast<long>(INT_MAX)));
}

void ReadServices(unsigned char* message, int length, DnsResolver::Records& records)
{
    ares_srv_reply* replies = nullptr;
    if (ares_parse_srv_reply(message, length, &replies) != ARES_SUCCESS)
        return;
    for (const ares_srv_reply* reply = replies; reply != nullptr; reply = reply->next)
        records.services.push_back({reply->priority, reply->weight, reply->port, reply->host});
    ares_free_data(replies);
}

void ReadNaptrs(unsigned char* message, int length, DnsResolver::Records& records)
{
    ares_naptr_reply* replies = nullptr;
    if (ares_parse_naptr_reply(message, length, &replies) != ARES_SUCCESS)
        return;
    auto text = [](const unsigned char* value) { return value != nullptr ? std::string(reinterpret_cast<const char*>(value)) : std::string(); };
    for (const ares_naptr_reply* reply = replies; reply != nullptr; reply = reply->next)
        records.naptrs.push_back({reply->order, reply->preference, text(reply->flags), text(reply->service),
                                  reply->replacement != nullptr ? reply->replacement : ""});
    ares_free_data(replies);
}

int TimeoutMs(const timeval& wait)
{
    const long long ms = static_cast<long long>(wait.tv_sec) * 1000 + (wait.tv_usec + 999) / 1000;
    return static_cast<int>(std::clamp(ms, 1LL, static_cast<long long>(INT_MAX)));
}

} // namespace

DnsResolver::DnsResolver(MessageLoop& loop)
    : window_(loop, "OrvDnsWnd", [this](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
          OnWindowMessage(message, wParam, lParam);
      })
{
}

DnsResolver::~DnsResolver()
{
    // Queries still out end here, their callers unanswered: they go with the resolver.
    if (channel_ != nullptr)
        ares_destroy(channel_);
}

bool DnsResolver::OpenChannel()
{
    if (channel_ != nullptr || channelFailed_)
        return channel_ != nullptr;
    static std::once_flag library;
    std::call_once(library, [] { ares_library_init(ARES_LIB_INIT_ALL); });
    ares_options options{};
    options.sock_state_cb = &DnsResolver::OnSocketStateChanged;
    options.sock_state_cb_data = this;
    options.timeout = QueryTimeoutMs;
    options.tries = QueryTries;
    // The hosts file is read by LocalAnswer, so that its names get no DNS time to live.
    char dnsOnly[] = "b";
    options.lookups = dnsOnly;
    const int mask = ARES_OPT_SOCK_STATE_CB | ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES | ARES_OPT_LOOKUPS;
    if (ares_init_options(&channel_, &options, mask) != ARES_SUCCESS) {
        channel_ = nullptr;
        channelFailed_ = true;
        return false;
    }
    if (const char* server = std::getenv("ORVSIP_DNS_SERVER"))
        noServer_ = !IsServerAddress(server) || ares_set_servers_ports_csv(channel_, server) != ARES_SUCCESS;
    return true;
}

std::optional<DnsResolver::Answer> DnsResolver::LocalAnswer(const std::string& name)
{
    Answer answer;
    in_addr address{};
    if (inet_pton(AF_INET, name.c_str(), &address) == 1) {
        answer = {true, address.s_addr, UnknownTtl};
        return answer;
    }
    const std::string lowered = Lowered(name);
    if (NetworkConfinement::IsConfined() || lowered.empty() || IsOrUnder(lowered, "invalid") ||
        name.find('\0') != std::string::npos)
        return answer;
    if (IsOrUnder(lowered, "localhost")) {
        answer = {true, htonl(INADDR_LOOPBACK), UnknownTtl};
        return answer;
    }
    if (!OpenChannel())
        return answer;
    hostent* host = nullptr;
    if (ares_gethostbyname_file(channel_, name.c_str(), AF_INET, &host) != ARES_SUCCESS || host == nullptr)
        return std::nullopt;
    if (host->h_addr_list != nullptr && host->h_addr_list[0] != nullptr) {
        std::copy_n(host->h_addr_list[0], sizeof address, reinterpret_cast<char*>(&address));
        answer = {true, address.s_addr, UnknownTtl};
    }
    ares_free_hostent(host);
    return answer;
}

void DnsResolver::LookupAddress(const std::string& name, Done done)
{
    if (std::optional<Answer> local = LocalAnswer(name)) {
        Complete([done = std::move(done), answer = *local] { done(answer); });
        return;
    }
    if (noServer_) {
        Complete([done = std::move(done)] { done({}); });
        return;
    }
    auto* query = new Query{this, std::move(done), {}, RecordType::Srv};
    ++inFlight_;
    ares_addrinfo_hints hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    ares_getaddrinfo(channel_, name.c_str(), nullptr, &hints, &DnsResolver::OnAddressInfo, query);
    ArmTimeout();
}

bool DnsResolver::MayQuery(const std::string& name)
{
    const std::string lowered = Lowered(name);
    in_addr address{};
    return !NetworkConfinement::IsConfined() && !lowered.empty() && !IsOrUnder(lowered, "invalid") &&
           !IsOrUnder(lowered, "localhost") && name.find('\0') == std::string::npos &&
           inet_pton(AF_INET, name.c_str(), &address) != 1 && OpenChannel() && !noServer_;
}

void DnsResolver::LookupRecords(const std::string& name, RecordType type, RecordsDone done)
{
    if (!MayQuery(name)) {
        Records none;
        none.unanswered = noServer_;
        Complete([done = std::move(done), none] { done(none); });
        return;
    }
    auto* query = new Query{this, {}, std::move(done), type};
    ++inFlight_;
    ares_query(channel_, name.c_str(), ns_c_in, type == RecordType::Srv ? ns_t_srv : ns_t_naptr,
               &DnsResolver::OnRecords, query);
    ArmTimeout();
}

void DnsResolver::OnRecords(void* data, int status, int, unsigned char* answer, int length)
{
    std::unique_ptr<Query> query(static_cast<Query*>(data));
    DnsResolver& resolver = *query->resolver;
    --resolver.inFlight_;
    if (status == ARES_EDESTRUCTION || status == ARES_ECANCELLED)
        return;
    Records records;
    if (status == ARES_SUCCESS && answer != nullptr) {
        if (query->type == RecordType::Srv)
            ReadServices(answer, length, records);
        else
            ReadNaptrs(answer, length, records);
        records.found = !records.services.empty() || !records.naptrs.empty();
        records.ttlSeconds = MinimumTtl(answer, length);
    }
    records.unanswered = status == ARES_ETIMEOUT;
    resolver.Complete([done = std::move(query->recordsDone), records] { done(records); });
}

void DnsResolver::OnAddressInfo(void* data, int status, int, ares_addrinfo* result)
{
    std::unique_ptr<Query> query(static_cast<Query*>(data));
    DnsResolver& resolver = *query->resolver;
    --resolver.inFlight_;
    Answer answer;
    if (status == ARES_SUCCESS && result != nullptr) {
        for (const ares_addrinfo_node* node = result->nodes; node != nullptr; node = node->ai_next) {
            if (node->ai_family != AF_INET || node->ai_addr == nullptr)
                continue;
            if (!answer.found)
                answer.address = reinterpret_cast<const sockaddr_in*>(node->ai_addr)->sin_addr.s_addr;
            answer.ttlSeconds = answer.found ? std::min(answer.ttlSeconds, node->ai_ttl) : node->ai_ttl;
            answer.found = true;
        }
        // An alias lives no longer than its own record says.
        for (const ares_addrinfo_cname* alias = result->cnames; alias != nullptr && answer.found; alias = alias->next)
            answer.ttlSeconds = std::min(answer.ttlSeconds, alias->ttl);
    }
    if (result != nullptr)
        ares_freeaddrinfo(result);
    if (status != ARES_EDESTRUCTION && status != ARES_ECANCELLED)
        resolver.Complete([done = std::move(query->done), answer] { done(answer); });
}

void DnsResolver::Complete(std::function<void()> deliver)
{
    if (answers_.empty())
        window_.Post(AnswersMessage);
    answers_.push_back(std::move(deliver));
}

void DnsResolver::DeliverAnswers()
{
    std::vector<std::function<void()>> ready;
    ready.swap(answers_);
    for (auto& deliver : ready)
        deliver();
}

void DnsResolver::OnWindowMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    switch (message) {
    case SocketMessage:
        ProcessSocket(static_cast<int>(wParam), (lParam & MessageWindow::SocketReadable) != 0,
                      (lParam & MessageWindow::SocketWritable) != 0);
        break;
    case MessageWindow::TimerMessage:
        ProcessSocket(ARES_SOCKET_BAD, false, false);
        break;
    case AnswersMessage:
        DeliverAnswers();
        break;
    default:
        break;
    }
}

void DnsResolver::OnSocketStateChanged(void* data, int fd, int readable, int writable)
{
    static_cast<DnsResolver*>(data)->OnSocketState(fd, readable != 0, writable != 0);
}

void DnsResolver::OnSocketState(int fd, bool readable, bool writable)
{
    if (readable || writable) {
        sockets_[fd] = writable;
        window_.WatchSocket(fd, SocketMessage, writable);
    } else {
        sockets_.erase(fd);
        window_.UnwatchSocket(fd);
    }
}

// A descriptor of ARES_SOCKET_BAD handles the time-outs only.
void DnsResolver::ProcessSocket(int fd, bool readable, bool writable)
{
    if (channel_ == nullptr)
        return;
    ares_process_fd(channel_, readable ? fd : ARES_SOCKET_BAD, writable ? fd : ARES_SOCKET_BAD);
    ArmTimeout();
}

void DnsResolver::ArmTimeout()
{
    timeval wait{};
    if (channel_ != nullptr && ares_timeout(channel_, nullptr, &wait) != nullptr)
        window_.SetTimer(TimeoutTimer, TimeoutMs(wait));
    else
        window_.KillTimer(TimeoutTimer);
}

void DnsResolver::ProcessNow()
{
    std::vector<pollfd> watched;
    for (const auto& [fd, writable] : sockets_)
        watched.push_back({fd, static_cast<short>(POLLIN | (writable ? POLLOUT : 0)), 0});
    if (!watched.empty() && poll(watched.data(), watched.size(), 0) > 0) {
        for (const pollfd& socket : watched) {
            if (socket.revents != 0)
                ProcessSocket(socket.fd, (socket.revents & (POLLIN | POLLERR | POLLHUP)) != 0,
                              (socket.revents & POLLOUT) != 0);
        }
    }
    ProcessSocket(ARES_SOCKET_BAD, false, false);
    DeliverAnswers();
}
