#pragma once

#include "platform/UdpSocket.h"

#include <string>

class MessageWindow;

// The RTP socket of one line; readiness arrives on the media window.
class RtpSocket {
public:
    static constexpr unsigned ReadableMessage = 883;

    bool Open(const std::string& bindIp, int port, MessageWindow& window);
    void Close();
    bool IsOpen() const { return socket_.IsOpen(); }
    bool Matches(int fd) const { return socket_.IsOpen() && socket_.Descriptor() == fd; }
    bool Send(const std::string& bytes, const std::string& host, int port);
    // Reads pending datagrams, at most `limit`; returns how many were read.
    template <typename Handler>
    int ReceiveBatch(int limit, Handler&& handle)
    {
        int count = 0;
        char buffer[2048];
        for (; count < limit; ++count) {
            const auto datagram = socket_.Receive(buffer, sizeof buffer);
            if (datagram.length < 0)
                break;
            if (!datagram.truncated)
                handle(buffer, datagram.length);
        }
        return count;
    }

private:
    UdpSocket socket_;
    MessageWindow* window_ = nullptr;
};
