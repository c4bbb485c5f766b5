#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class MessageWindow;

// One message loop per thread: posted messages, window timers and socket readiness,
// all delivered to MessageWindow handlers on the loop's thread. Posting is the only
// operation that may be called from other threads.
//
// A host with a loop of its own watches Descriptor() for readability and calls
// Dispatch(); a host without one calls Run(), RunFor() or RunUntil(). An exception a
// handler throws comes out of that call; the messages of its round that were not
// delivered yet stay queued, in order, for the next one.
class MessageLoop {
public:
    MessageLoop();
    ~MessageLoop();
    MessageLoop(const MessageLoop&) = delete;
    MessageLoop& operator=(const MessageLoop&) = delete;

    // The loop of the calling thread, made on first use. The thread holds it until
    // it ends; whoever else holds it (the controls made on the thread) keeps it past
    // that, so that they can still be taken down safely.
    static std::shared_ptr<MessageLoop> ForCurrentThread();
    // Whether this is the loop ForCurrentThread() gives the calling thread.
    bool IsCurrentThreadLoop() const;

    int Descriptor() const { return epollFd_; }
    int Dispatch();
    void RunFor(int milliseconds);
    bool RunUntil(const std::function<bool()>& done, int timeoutMs);
    void Run();
    void Quit();

private:
    friend class MessageWindow;

    struct Posted {
        int windowId;
        unsigned message;
        std::uintptr_t wParam;
        std::intptr_t lParam;
    };
    struct Timer {
        int windowId;
        unsigned timerId;
        int periodMs;
        std::int64_t dueMs;
    };
    struct Watch {
        int windowId;
        unsigned message;
    };

    int Register(MessageWindow* window);
    void Unregister(int windowId);
    void Post(int windowId, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    void SetTimer(int windowId, unsigned timerId, int periodMs, int firstDelayMs);
    void KillTimer(int windowId, unsigned timerId);
    bool WatchSocket(int windowId, int fd, unsigned message, bool writable);
    void UnwatchSocket(int fd);

    int WaitAndDispatch(int timeoutMs);
    int DeliverPosted();
    // Puts the messages of a batch from `first` on back before those posted since.
    void Requeue(std::vector<Posted>& batch, std::size_t first);
    // Makes the descriptor readable: posted messages wait.
    void Wake();
    // Swaps `batch` with what was posted, keeping the capacity of both.
    void TakePosted(std::vector<Posted>& batch);
    // `events`: the epoll events reported for the descriptor.
    int DeliverSocket(int fd, std::uint32_t events);
    int DeliverDueTimers();
    void Deliver(int windowId, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    void ArmTimerDescriptor();
    static std::int64_t NowMs();

    int epollFd_ = -1;
    int wakeFd_ = -1;
    int timerFd_ = -1;
    std::atomic<bool> quit_{false};

    std::mutex postedMutex_;
    std::vector<Posted> posted_;
    // The capacity of the last delivered batch, for the next one.
    std::vector<Posted> spareBatch_;
    std::vector<std::pair<int, unsigned>> spareDue_;
    // The expiry the timer descriptor is armed for (0: disarmed).
    std::int64_t armedDueMs_ = 0;

    int nextWindowId_ = 1;
    std::map<int, MessageWindow*> windows_;
    std::vector<Timer> timers_;
    std::map<int, Watch> watches_;
};
