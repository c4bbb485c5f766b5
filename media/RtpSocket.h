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
    // Reads every pending datagram; returns how many were read.
    template <typename Handler>
    int ReceiveAll(Handler&& handle)
    {
        int count = 0;
        char buffer[2048];
        for (auto datagram = socket_.Receive(buffer, sizeof buffer); datagram.length >= 0;
             datagram = socket_.Receive(buffer, sizeof buffer), ++count) {
            if (!datagram.truncated)
                handle(buffer, datagram.length);
        }
        return count;
    }

private:
    UdpSocket socket_;
    MessageWindow* window_ = nullptr;
};
