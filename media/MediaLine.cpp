#include "media/MediaLine.h"

#include "media/MediaError.h"

int MediaLine::Open(bool bindToIp, const std::string& ip, int port, MessageWindow& window)
{
    std::lock_guard lock(mutex_);
    CloseLocked();
    if (!socket_.Open(bindToIp ? ip : std::string(), port, window))
        return MediaSocketFailed;
    open_ = true;
    media_.sendEnabled = false;
    media_.receiveEnabled = false;
    localAddress_ = ip;
    localPort_ = port;
    return MediaOk;
}

void MediaLine::Close()
{
    std::lock_guard lock(mutex_);
    CloseLocked();
}

void MediaLine::CloseLocked()
{
    socket_.Close();
    open_ = false;
    hold_ = false;
    media_.sendEnabled = false;
    media_.receiveEnabled = false;
}

bool MediaLine::IsOpen()
{
    std::lock_guard lock(mutex_);
    return open_;
}

bool MediaLine::IsHold()
{
    std::lock_guard lock(mutex_);
    return hold_;
}

std::string MediaLine::LocalAddress()
{
    std::lock_guard lock(mutex_);
    return localAddress_;
}

int MediaLine::LocalPort()
{
    std::lock_guard lock(mutex_);
    return localPort_;
}

bool MediaLine::OnReadable(int fd)
{
    std::lock_guard lock(mutex_);
    if (!socket_.Matches(fd))
        return false;
    socket_.ReceiveAll([](const char*, int) {});
    return true;
}

void MediaLine::StartMedia(const std::string& remoteIp, int remotePort, int codec, int payloadType, bool send,
                           bool receive)
{
    std::lock_guard lock(mutex_);
    media_.remoteIp = remoteIp;
    media_.remotePort = remotePort;
    media_.outboundCodec = codec;
    media_.outboundPayloadType = payloadType;
    media_.sendEnabled = send;
    media_.receiveEnabled = receive;
}

void MediaLine::StopMedia(bool disableSend, bool disableReceive)
{
    std::lock_guard lock(mutex_);
    media_.outboundCodec = -1;
    media_.inboundCodec = -1;
    media_.sendEnabled = !disableSend;
    media_.receiveEnabled = !disableReceive;
    hold_ = false;
}

void MediaLine::SetHold(bool hold)
{
    std::lock_guard lock(mutex_);
    hold_ = hold;
}

int MediaLine::OutboundCodec()
{
    std::lock_guard lock(mutex_);
    return media_.outboundCodec;
}

int MediaLine::InboundCodec()
{
    std::lock_guard lock(mutex_);
    return media_.inboundCodec;
}

MediaLine::MediaState MediaLine::State()
{
    std::lock_guard lock(mutex_);
    return media_;
}
