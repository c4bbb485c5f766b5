#include "platform/DnsResolver.h"

#include "platform/NetworkConfinement.h"

#include <ares.h>
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
        Complete(std::move(done), *local);
        return;
    }
    if (noServer_) {
        Complete(std::move(done), {});
        return;
    }
    auto* query = new Query{this, std::move(done)};
    ++inFlight_;
    ares_addrinfo_hints hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    ares_getaddrinfo(channel_, name.c_str(), nullptr, &hints, &DnsResolver::OnAddressInfo, query);
    ArmTimeout();
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
        resolver.Complete(std::move(query->done), answer);
}

void DnsResolver::Complete(Done done, const Answer& answer)
{
    if (answers_.empty())
        window_.Post(AnswersMessage);
    answers_.emplace_back(std::move(done), answer);
}

void DnsResolver::DeliverAnswers()
{
    std::vector<std::pair<Done, Answer>> ready;
    ready.swap(answers_);
    for (auto& [done, answer] : ready)
        done(answer);
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
