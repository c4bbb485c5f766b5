#include "platform/MessageWindow.h"

#include "platform/MessageLoop.h"

MessageWindow::MessageWindow(MessageLoop& loop, std::string name, Handler handler)
    : loop_(loop), name_(std::move(name)), handler_(std::move(handler)), id_(loop.Register(this))
{
}

MessageWindow::~MessageWindow()
{
    loop_.Unregister(id_);
}

void MessageWindow::Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    loop_.Post(id_, message, wParam, lParam);
}

void MessageWindow::SetTimer(unsigned timerId, int periodMs)
{
    loop_.SetTimer(id_, timerId, periodMs, periodMs);
}

void MessageWindow::SetTimer(unsigned timerId, int periodMs, int firstDelayMs)
{
    loop_.SetTimer(id_, timerId, periodMs, firstDelayMs);
}

void MessageWindow::KillTimer(unsigned timerId)
{
    loop_.KillTimer(id_, timerId);
}

bool MessageWindow::WatchSocket(int fd, unsigned message, bool writable)
{
    return loop_.WatchSocket(id_, fd, message, writable);
}

void MessageWindow::UnwatchSocket(int fd)
{
    loop_.UnwatchSocket(fd);
}

void MessageWindow::Handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    if (handler_)
        handler_(message, wParam, lParam);
}
