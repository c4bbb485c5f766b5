#include "useragent/StunClient.h"

#include "media/MediaEngine.h"
#include "platform/UdpSocket.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

constexpr std::string_view UriScheme = "stun:";
constexpr std::size_t LongestHost = 253;

bool IsHostText(const std::string& host)
{
    return !host.empty() && host.size() <= LongestHost && host.front() != '-' && host.front() != '.' &&
           std::all_of(host.begin(), host.end(), [](unsigned char c) { return std::isalnum(c) || c == '-' || c == '.'; });
}

bool ParsePort(const std::string& text, int& port)
{
    if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), [](unsigned char c) {
            return std::isdigit(c);
        }))
        return false;
    port = std::stoi(text);
    return port > 0 && port <= 65535;
}

} // namespace

StunClient::StunClient(MessageLoop& loop, MediaEngine& media)
    : window_(loop, "OrvStunWnd",
              [this](unsigned message, std::uintptr_t wParam, std::intptr_t) {
                  if (message == MessageWindow::TimerMessage)
                      OnTimer(static_cast<unsigned>(wParam));
              }),
      media_(media),
      resolver_(loop)
{
}

bool StunClient::ParseServer(const std::string& text, std::string& host, int& port)
{
    std::string rest = text;
    const bool withScheme = rest.size() > UriScheme.size() &&
                            std::equal(UriScheme.begin(), UriScheme.end(), rest.begin(), [](char a, char b) {
                                return a == std::tolower(static_cast<unsigned char>(b));
                            });
    if (withScheme)
        rest.erase(0, UriScheme.size());
    port = DefaultPort;
    const std::size_t colon = rest.find(':');
    if (colon != std::string::npos && !ParsePort(rest.substr(colon + 1), port))
        return false;
    host = rest.substr(0, colon);
    return IsHostText(host);
}

bool StunClient::SetServer(const std::string& server)
{
    std::string host;
    int port = DefaultPort;
    if (!server.empty() && !ParseServer(server, host, port))
        return false;
    host_ = host;
    port_ = port;
    server_ = {};
    ++generation_;
    if (host_.empty()) {
        Stop();
        for (int line = 0; line < media_.LineCount(); ++line)
            media_.ForgetStunMapping(line);
        return true;
    }
    StartRound();
    return true;
}

void StunClient::OnLineOpened()
{
    if (!host_.empty())
        StartRound();
}

void StunClient::Stop()
{
    window_.KillTimer(RoundTimer);
    window_.KillTimer(ResendTimer);
    resendsLeft_ = 0;
}

// A name is looked up again each round: the server may move, as names do.
void StunClient::StartRound()
{
    window_.SetTimer(RoundTimer, RefreshMs);
    NetworkEndpoint dotted;
    if (UdpSocket::ParseEndpoint(host_, port_, dotted)) {
        server_ = dotted;
        SendRound();
        return;
    }
    resolver_.LookupAddress(host_, [this, generation = generation_](const DnsResolver::Answer& answer) {
        if (generation != generation_)
            return;
        NetworkEndpoint found;
        if (answer.found && UdpSocket::EndpointOf(answer.address, port_, found))
            server_ = found;
        if (server_.IsSet())
            SendRound();
    });
}

void StunClient::SendRound()
{
    bool asked = false;
    for (int line = 0; line < media_.LineCount(); ++line) {
        if (media_.IsLineOpen(line))
            asked = media_.QueryStunServer(line, server_, NewTransactionId()) || asked;
    }
    if (!asked) {
        Stop();
        return;
    }
    resendsLeft_ = Resends;
    resendDelayMs_ = FirstResendMs;
    window_.SetTimer(ResendTimer, resendDelayMs_);
}

void StunClient::OnResendDue()
{
    bool waiting = false;
    for (int line = 0; line < media_.LineCount(); ++line) {
        if (!media_.StunQueryPending(line))
            continue;
        if (resendsLeft_ == 0) {
            media_.ForgetStunMapping(line);
            continue;
        }
        media_.ResendStunQuery(line);
        waiting = true;
    }
    if (!waiting) {
        window_.KillTimer(ResendTimer);
        return;
    }
    --resendsLeft_;
    resendDelayMs_ *= 2;
    window_.SetTimer(ResendTimer, resendDelayMs_);
}

void StunClient::OnTimer(unsigned timerId)
{
    if (timerId == RoundTimer)
        StartRound();
    else if (timerId == ResendTimer)
        OnResendDue();
}

StunMessage::TransactionId StunClient::NewTransactionId()
{
    StunMessage::TransactionId id{};
    for (std::size_t at = 0; at < id.size(); at += 4) {
        const std::uint32_t value = random_();
        for (std::size_t byte = 0; byte < 4; ++byte)
            id[at + byte] = static_cast<std::uint8_t>(value >> (8 * byte));
    }
    return id;
}
