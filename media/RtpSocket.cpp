#include "media/RtpSocket.h"

#include "platform/MessageWindow.h"

bool RtpSocket::Open(const std::string& bindIp, int port, MessageWindow& window)
{
    Close();
    if (!socket_.Open(bindIp, port))
        return false;
    if (!window.WatchSocket(socket_.Descriptor(), ReadableMessage)) {
        socket_.Close();
        return false;
    }
    window_ = &window;
    return true;
}

void RtpSocket::Close()
{
    if (window_ != nullptr && socket_.IsOpen())
        window_->UnwatchSocket(socket_.Descriptor());
    window_ = nullptr;
    socket_.Close();
}

bool RtpSocket::Send(std::span<const std::uint8_t> bytes, const std::string& host, int port)
{
    return socket_.SendTo(bytes, host, port);
}
