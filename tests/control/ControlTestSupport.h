#pragma once

#include "tests/platform/TestPorts.h"

#include "control/OrvSIPUserAgentOCX.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace controltest {

// A UDP port on 127.0.0.1 that nothing uses right now.
inline int FreePort()
{
    return TestPorts::Free();
}

// A plain UDP socket on 127.0.0.1 for hand-made datagrams.
class Peer {
public:
    Peer()
    {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address = Address(0);
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~Peer() { close(fd_); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    int Port() const { return port_; }
    void Send(const std::string& text, int port) const
    {
        sockaddr_in address = Address(port);
        sendto(fd_, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    // The next datagram within the time, with its source port; empty when none came.
    std::string Receive(int timeoutMs, int* fromPort = nullptr) const
    {
        pollfd watched{fd_, POLLIN, 0};
        if (poll(&watched, 1, timeoutMs) <= 0)
            return {};
        char buffer[8192];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        ssize_t got = recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (fromPort != nullptr)
            *fromPort = ntohs(from.sin_port);
        return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
    }

    // A request outside any call that the user agent answers 200.
    std::string Options(const std::string& callId) const
    {
        return "OPTIONS sip:1001@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:" + std::to_string(port_) +
               ";branch=z9hG4bK" + callId + "\r\nFrom: <sip:peer@127.0.0.1>;tag=9\r\nTo: <sip:1001@127.0.0.1>\r\n"
               "Call-ID: " + callId + "\r\nCSeq: 3 OPTIONS\r\nMax-Forwards: 70\r\nContent-Length: 0\r\n\r\n";
    }

private:
    static sockaddr_in Address(int port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        return address;
    }

    int fd_ = -1;
    int port_ = 0;
};

// The kinds of the values an event's typed member takes, as OrvValue indexes.
template <typename... P>
std::vector<std::size_t> KindsOf(void (OrvSIPUserAgentOCXEvents::*)(P...))
{
    return {OrvValue(std::remove_cv_t<std::remove_reference_t<P>>{}).index()...};
}

template <std::size_t... Index>
std::vector<std::size_t> KindsOfEvent(int dispId, std::index_sequence<Index...>)
{
    constexpr auto members = OrvSIPUserAgentOCXEvents::TypedMembers();
    std::vector<std::size_t> kinds;
    ((dispId == static_cast<int>(Index) + 1 ? static_cast<void>(kinds = KindsOf(std::get<Index>(members))) : void()),
     ...);
    return kinds;
}

struct ReceivedEvent {
    int dispId;
    std::vector<OrvValue> arguments;
};

// A sink that keeps every event it receives, then lets the typed members run.
class RecordingSink : public OrvSIPUserAgentOCXEvents {
public:
    std::vector<ReceivedEvent> received;

    // Every event arrives with the arguments its typed member takes.
    void Invoke(int dispId, const std::vector<OrvValue>& arguments) override
    {
        EXPECT_TRUE(dispId >= 1 && dispId <= 28) << dispId;
        std::vector<std::size_t> kinds;
        for (const OrvValue& argument : arguments)
            kinds.push_back(argument.index());
        EXPECT_EQ(kinds, KindsOfEvent(dispId, std::make_index_sequence<28>{})) << "event " << dispId;
        received.push_back({dispId, arguments});
        DeliverTyped(dispId, arguments);
    }

    bool Has(OrvEventId event) const { return Count(event) > 0; }
    std::size_t Count(OrvEventId event) const
    {
        return static_cast<std::size_t>(std::count_if(received.begin(), received.end(), [event](const auto& r) {
            return r.dispId == static_cast<int>(event);
        }));
    }
    // The first string argument of every event `event`.
    std::vector<std::string> Texts(OrvEventId event) const
    {
        std::vector<std::string> texts;
        for (const ReceivedEvent& r : received) {
            if (r.dispId == static_cast<int>(event) && !r.arguments.empty())
                texts.push_back(std::get<std::string>(r.arguments[0]));
        }
        return texts;
    }
};

} // namespace controltest
