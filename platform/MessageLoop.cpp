#include "platform/MessageLoop.h"

#include "platform/MessageWindow.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace {

constexpr int MaxEventsPerWait = 32;

void AddToEpoll(int epollFd, int fd)
{
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &event);
}

// One read takes an eventfd's or a timerfd's whole count.
void DrainCounter(int fd)
{
    std::uint64_t value;
    [[maybe_unused]] auto got = read(fd, &value, sizeof value);
}

} // namespace

MessageLoop::MessageLoop()
{
    epollFd_ = epoll_create1(EPOLL_CLOEXEC);
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (epollFd_ < 0 || wakeFd_ < 0 || timerFd_ < 0)
        throw std::runtime_error("message loop: cannot create its descriptors");
    AddToEpoll(epollFd_, wakeFd_);
    AddToEpoll(epollFd_, timerFd_);
}

MessageLoop::~MessageLoop()
{
    close(timerFd_);
    close(wakeFd_);
    close(epollFd_);
}

namespace {

thread_local const MessageLoop* currentThreadLoop = nullptr;

// The calling thread's hold on its loop; the loop stops being the thread's when it ends.
struct ThreadLoopHolder {
    ThreadLoopHolder() : loop(std::make_shared<MessageLoop>()) { currentThreadLoop = loop.get(); }
    ~ThreadLoopHolder() { currentThreadLoop = nullptr; }
    std::shared_ptr<MessageLoop> loop;
};

} // namespace

std::shared_ptr<MessageLoop> MessageLoop::ForCurrentThread()
{
    thread_local ThreadLoopHolder holder;
    return holder.loop;
}

bool MessageLoop::IsCurrentThreadLoop() const
{
    return currentThreadLoop == this;
}

std::int64_t MessageLoop::NowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

int MessageLoop::Register(MessageWindow* window)
{
    int id = nextWindowId_++;
    windows_[id] = window;
    return id;
}

void MessageLoop::Unregister(int windowId)
{
    windows_.erase(windowId);
    std::erase_if(timers_, [windowId](const Timer& timer) { return timer.windowId == windowId; });
    for (auto it = watches_.begin(); it != watches_.end();) {
        if (it->second.windowId == windowId) {
            epoll_ctl(epollFd_, EPOLL_CTL_DEL, it->first, nullptr);
            it = watches_.erase(it);
        } else {
            ++it;
        }
    }
    ArmTimerDescriptor();
}

void MessageLoop::Post(int windowId, unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    {
        std::lock_guard lock(postedMutex_);
        posted_.push_back({windowId, message, wParam, lParam});
    }
    Wake();
}

void MessageLoop::SetTimer(int windowId, unsigned timerId, int periodMs, int firstDelayMs)
{
    KillTimer(windowId, timerId);
    periodMs = std::max(periodMs, 1);
    timers_.push_back({windowId, timerId, periodMs, NowMs() + std::max(firstDelayMs, 1)});
    ArmTimerDescriptor();
}

void MessageLoop::KillTimer(int windowId, unsigned timerId)
{
    std::erase_if(timers_, [&](const Timer& timer) { return timer.windowId == windowId && timer.timerId == timerId; });
    ArmTimerDescriptor();
}

bool MessageLoop::WatchSocket(int windowId, int fd, unsigned message, bool writable)
{
    if (fd < 0)
        return false;
    UnwatchSocket(fd);
    epoll_event event{};
    event.events = writable ? EPOLLIN | EPOLLOUT : EPOLLIN;
    event.data.fd = fd;
    if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &event) != 0)
        return false;
    watches_[fd] = {windowId, message};
    return true;
}

void MessageLoop::UnwatchSocket(int fd)
{
    if (watches_.erase(fd) > 0)
        epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
}

// The descriptor is armed for the earliest timer, and only told when that changes.
void MessageLoop::ArmTimerDescriptor()
{
    std::int64_t dueMs = 0;
    if (!timers_.empty()) {
        dueMs = std::min_element(timers_.begin(), timers_.end(), [](const Timer& a, const Timer& b) {
                    return a.dueMs < b.dueMs;
                })->dueMs;
    }
    if (dueMs == armedDueMs_)
        return;
    armedDueMs_ = dueMs;
    itimerspec spec{};
    spec.it_value.tv_sec = dueMs / 1000;
    spec.it_value.tv_nsec = (dueMs % 1000) * 1000000 + (dueMs != 0 ? 1 : 0);
    timerfd_settime(timerFd_, TFD_TIMER_ABSTIME, &spec, nullptr);
}

void MessageLoop::Deliver(int windowId, unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    auto it = windows_.find(windowId);
    if (it != windows_.end())
        it->second->Handle(message, wParam, lParam);
}

void MessageLoop::TakePosted(std::vector<Posted>& batch)
{
    std::lock_guard lock(postedMutex_);
    batch.swap(posted_);
}

// A handler may run the loop again (a host's event handler): the batch being
// delivered is a local of its own, and the vectors only trade their capacity.
int MessageLoop::DeliverPosted()
{
    DrainCounter(wakeFd_);
    std::vector<Posted> batch;
    batch.swap(spareBatch_);
    TakePosted(batch);
    for (std::size_t at = 0; at < batch.size(); ++at) {
        const Posted& posted = batch[at];
        try {
            Deliver(posted.windowId, posted.message, posted.wParam, posted.lParam);
        } catch (...) {
            Requeue(batch, at + 1);
            throw;
        }
    }
    const int delivered = static_cast<int>(batch.size());
    batch.clear();
    if (batch.capacity() > spareBatch_.capacity())
        spareBatch_.swap(batch);
    return delivered;
}

void MessageLoop::Wake()
{
    std::uint64_t one = 1;
    [[maybe_unused]] auto written = write(wakeFd_, &one, sizeof one);
}

void MessageLoop::Requeue(std::vector<Posted>& batch, std::size_t first)
{
    {
        std::lock_guard lock(postedMutex_);
        posted_.insert(posted_.begin(), batch.begin() + static_cast<std::ptrdiff_t>(first), batch.end());
    }
    Wake();
}

int MessageLoop::DeliverSocket(int fd, std::uint32_t events)
{
    auto it = watches_.find(fd);
    if (it == watches_.end())
        return 0;
    Watch watch = it->second;
    std::intptr_t state = (events & (EPOLLIN | EPOLLERR | EPOLLHUP)) != 0 ? MessageWindow::SocketReadable : 0;
    if ((events & EPOLLOUT) != 0)
        state |= MessageWindow::SocketWritable;
    Deliver(watch.windowId, watch.message, static_cast<std::uintptr_t>(fd), state);
    return 1;
}

int MessageLoop::DeliverDueTimers()
{
    DrainCounter(timerFd_);
    // The descriptor fired: it is disarmed now, whatever it was armed for.
    armedDueMs_ = 0;
    std::int64_t now = NowMs();
    std::vector<std::pair<int, unsigned>> due;
    due.swap(spareDue_);
    for (Timer& timer : timers_) {
        if (timer.dueMs <= now) {
            timer.dueMs = now + timer.periodMs;
            due.emplace_back(timer.windowId, timer.timerId);
        }
    }
    ArmTimerDescriptor();
    int delivered = 0;
    for (const auto& timer : due) {
        // A handler may have killed a timer that was due in the same round.
        bool stillSet = std::any_of(timers_.begin(), timers_.end(), [&timer](const Timer& set) {
            return set.windowId == timer.first && set.timerId == timer.second;
        });
        if (stillSet) {
            Deliver(timer.first, MessageWindow::TimerMessage, timer.second, 0);
            ++delivered;
        }
    }
    due.clear();
    if (due.capacity() > spareDue_.capacity())
        spareDue_.swap(due);
    return delivered;
}

int MessageLoop::WaitAndDispatch(int timeoutMs)
{
    epoll_event events[MaxEventsPerWait];
    int ready = epoll_wait(epollFd_, events, MaxEventsPerWait, timeoutMs);
    if (ready < 0 && errno != EINTR)
        return 0;
    int delivered = 0;
    bool postedReady = false;
    bool timersReady = false;
    epoll_event sockets[MaxEventsPerWait];
    int socketCount = 0;
    for (int i = 0; i < ready; ++i) {
        int fd = events[i].data.fd;
        if (fd == wakeFd_)
            postedReady = true;
        else if (fd == timerFd_)
            timersReady = true;
        else
            sockets[socketCount++] = events[i];
    }
    if (postedReady)
        delivered += DeliverPosted();
    for (int at = 0; at < socketCount; ++at)
        delivered += DeliverSocket(sockets[at].data.fd, sockets[at].events);
    if (timersReady)
        delivered += DeliverDueTimers();
    return delivered;
}

int MessageLoop::Dispatch()
{
    return WaitAndDispatch(0);
}

void MessageLoop::RunFor(int milliseconds)
{
    std::int64_t deadline = NowMs() + milliseconds;
    for (std::int64_t now = NowMs(); now < deadline && !quit_; now = NowMs())
        WaitAndDispatch(static_cast<int>(deadline - now));
    quit_ = false;
}

bool MessageLoop::RunUntil(const std::function<bool()>& done, int timeoutMs)
{
    std::int64_t deadline = NowMs() + timeoutMs;
    bool finished = done();
    for (std::int64_t now = NowMs(); !finished && now < deadline && !quit_; now = NowMs()) {
        WaitAndDispatch(static_cast<int>(deadline - now));
        finished = done();
    }
    quit_ = false;
    return finished;
}

void MessageLoop::Run()
{
    while (!quit_)
        WaitAndDispatch(-1);
    quit_ = false;
}

void MessageLoop::Quit()
{
    quit_ = true;
    Wake();
}
