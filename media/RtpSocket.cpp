#include "media/RtpSocket.h"

#include "platform/MessageWindow.h"

bool RtpSocket::Open(const std::string& bindIp, int port, MessageWindow& window)
{
    Close();
    if (!socket_.Open(bindIp, port))
        return false;
    // Arrival times measure the peer's jitter however late the beat reads.
    socket_.StampArrivals();
    if (!window.WatchSocket(socket_.Descriptor(), ReadableMessage)) {
        socket_.Close();
        return false;
    }
    window_ = &window;
    watched_ = true;
    return true;
}

void RtpSocket::Close()
{
    Watch(false);
    window_ = nullptr;
    socket_.Close();
}

void RtpSocket::Watch(bool watched)
{
    if (window_ == nullptr || !socket_.IsOpen() || watched == watched_)
        return;
    if (watched) {
        watched_ = window_->WatchSocket(socket_.Descriptor(), ReadableMessage);
        return;
    }
    window_->UnwatchSocket(socket_.Descriptor());
    watched_ = false;
}
