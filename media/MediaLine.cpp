#include "media/MediaLine.h"

#include "media/MediaError.h"

int MediaLine::Open(bool bindToIp, const std::string& ip, int port, MessageWindow& window)
{
    std::lock_guard lock(mutex_);
    CloseLocked();
    if (!socket_.Open(bindToIp ? ip : std::string(), port, window))
        return MediaSocketFailed;
    open_ = true;
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
