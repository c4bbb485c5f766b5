#pragma once

#include <cstdint>
#include <functional>
#include <string>

class MessageLoop;

// A named message target on a MessageLoop, standing in for a hidden window: it
// receives posted messages, its own timers (by id) and socket readiness notices.
class MessageWindow {
public:
    using Handler = std::function<void(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)>;

    static constexpr unsigned TimerMessage = 0x0113;
    // lParam bits of a socket notice.
    static constexpr std::intptr_t SocketReadable = 1;
    static constexpr std::intptr_t SocketWritable = 2;

    MessageWindow(MessageLoop& loop, std::string name, Handler handler);
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    const std::string& Name() const { return name_; }
    MessageLoop& Loop() const { return loop_; }

    // Thread-safe; delivered later from the loop, in posting order.
    void Post(unsigned message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
    // A timer with the same id is replaced, as a window timer would be. Timers due
    // in the same round are delivered in the order they were set. The first expiry
    // comes one period from now, or `firstDelayMs` from now when given.
    void SetTimer(unsigned timerId, int periodMs);
    void SetTimer(unsigned timerId, int periodMs, int firstDelayMs);
    void KillTimer(unsigned timerId);
    // The handler gets `message` with wParam = fd and lParam = SocketReadable while
    // the descriptor has data to read (or an error to report), and, when asked for
    // it, SocketWritable while it can be written.
    bool WatchSocket(int fd, unsigned message, bool writable = false);
    void UnwatchSocket(int fd);

private:
    friend class MessageLoop;
    void Handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

    MessageLoop& loop_;
    std::string name_;
    Handler handler_;
    int id_;
};
