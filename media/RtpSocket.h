#pragma once

#include "platform/DatagramBatch.h"
#include "platform/UdpSocket.h"

#include <cstdint>
#include <span>
#include <string>

class MessageWindow;

// The RTP socket of one line; readiness arrives on the media window while the
// socket is watched (from Open until Watch(false)).
class RtpSocket {
public:
    static constexpr unsigned ReadableMessage = 883;

    bool Open(const std::string& bindIp, int port, MessageWindow& window);
    void Close();
    // Starts or stops the readiness notices; on the window's thread only.
    void Watch(bool watched);
    bool IsOpen() const { return socket_.IsOpen(); }
    int Descriptor() const { return socket_.Descriptor(); }
    bool Matches(int fd) const { return socket_.IsOpen() && socket_.Descriptor() == fd; }
    bool Send(std::span<const std::uint8_t> bytes, const NetworkEndpoint& destination)
    {
        return socket_.SendTo(bytes, destination);
    }
    // Reads the waiting datagrams, at most `limit`, with one system call and hands
    // each whole one with its source and arrival time to `handle`; returns how many
    // were read.
    template <typename Handler>
    int ReceiveBatch(DatagramBatch& batch, int limit, Handler&& handle)
    {
        const int count = socket_.ReceiveBatch(batch, static_cast<std::size_t>(limit));
        for (int at = 0; at < count; ++at) {
            const auto index = static_cast<std::size_t>(at);
            if (!batch.Truncated(index))
                handle(batch.Bytes(index), batch.Source(index), batch.Arrival(index));
        }
        return count;
    }

private:
    UdpSocket socket_;
    MessageWindow* window_ = nullptr;
    bool watched_ = false;
};
