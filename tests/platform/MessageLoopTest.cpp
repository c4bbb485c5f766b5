#include "platform/MessageLoop.h"
#include "platform/MessageWindow.h"
#include "platform/UdpSocket.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <thread>
#include <vector>

namespace {

struct Received {
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

class Recorder {
public:
    explicit Recorder(MessageLoop& loop)
        : window(loop, "test", [this](unsigned m, std::uintptr_t w, std::intptr_t l) { received.push_back({m, w, l}); })
    {
    }
    int Count(unsigned message) const
    {
        int count = 0;
        for (const Received& r : received)
            count += r.message == message ? 1 : 0;
        return count;
    }
    std::vector<Received> received;
    MessageWindow window;
};

} // namespace

TEST(MessageLoop, PostedMessagesArriveLaterInPostingOrder)
{
    MessageLoop loop;
    Recorder recorder(loop);
    for (int i = 0; i < 5; ++i)
        recorder.window.Post(0x400, static_cast<std::uintptr_t>(i), -i);
    EXPECT_TRUE(recorder.received.empty()) << "posting must never deliver inside the caller";
    loop.Dispatch();
    ASSERT_EQ(recorder.received.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(recorder.received[static_cast<std::size_t>(i)].wParam, static_cast<std::uintptr_t>(i));
        EXPECT_EQ(recorder.received[static_cast<std::size_t>(i)].lParam, -i);
    }
}

TEST(MessageLoop, MessagesPostedWhileHandlingComeInALaterRound)
{
    MessageLoop loop;
    int handled = 0;
    MessageWindow* self = nullptr;
    MessageWindow window(loop, "chain", [&](unsigned, std::uintptr_t, std::intptr_t) {
        if (++handled < 3)
            self->Post(1);
    });
    self = &window;
    window.Post(1);
    loop.Dispatch();
    EXPECT_EQ(handled, 1);
    loop.RunUntil([&] { return handled == 3; }, 1000);
    EXPECT_EQ(handled, 3);
}

TEST(MessageLoop, PostingFromAnotherThreadWakesTheLoop)
{
    MessageLoop loop;
    Recorder recorder(loop);
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i)
            recorder.window.Post(0x500, static_cast<std::uintptr_t>(i));
    });
    bool done = loop.RunUntil([&] { return recorder.received.size() == 100; }, 5000);
    poster.join();
    ASSERT_TRUE(done);
    for (std::size_t i = 0; i < 100; ++i)
        EXPECT_EQ(recorder.received[i].wParam, i);
}

TEST(MessageLoop, TimersFireRepeatedlyByIdUntilKilled)
{
    MessageLoop loop;
    Recorder recorder(loop);
    recorder.window.SetTimer(7, 20);
    recorder.window.SetTimer(8, 1000);
    ASSERT_TRUE(loop.RunUntil([&] { return recorder.Count(MessageWindow::TimerMessage) >= 3; }, 2000));
    for (const Received& r : recorder.received)
        EXPECT_EQ(r.wParam, 7u);
    recorder.window.KillTimer(7);
    recorder.received.clear();
    loop.RunFor(100);
    EXPECT_EQ(recorder.Count(MessageWindow::TimerMessage), 0);
}

TEST(MessageLoop, ATimerMayFirstExpireSoonerThanItsPeriod)
{
    MessageLoop loop;
    Recorder recorder(loop);
    recorder.window.SetTimer(3, 5000, 20);
    ASSERT_TRUE(loop.RunUntil([&] { return recorder.Count(MessageWindow::TimerMessage) == 1; }, 2000));
    loop.RunFor(100);
    EXPECT_EQ(recorder.Count(MessageWindow::TimerMessage), 1) << "then once a period";
}

TEST(MessageLoop, TheDescriptorStaysQuietWhileNothingIsDue)
{
    MessageLoop loop;
    Recorder recorder(loop);
    recorder.window.SetTimer(1, 40);
    recorder.window.SetTimer(2, 60000);
    pollfd watched{loop.Descriptor(), POLLIN, 0};
    ASSERT_EQ(poll(&watched, 1, 2000), 1) << "the earlier timer is due";
    EXPECT_EQ(loop.Dispatch(), 1);
    recorder.window.KillTimer(1);
    EXPECT_EQ(poll(&watched, 1, 100), 0) << "the later one is far off";
    EXPECT_EQ(loop.Dispatch(), 0);
    recorder.window.KillTimer(2);
    recorder.window.SetTimer(2, 10);
    ASSERT_EQ(poll(&watched, 1, 2000), 1) << "a timer set again is armed afresh";
    EXPECT_EQ(loop.Dispatch(), 1);
}

TEST(MessageLoop, SettingATimerAgainReplacesIt)
{
    MessageLoop loop;
    Recorder recorder(loop);
    recorder.window.SetTimer(1, 30);
    recorder.window.SetTimer(1, 5000);
    loop.RunFor(150);
    EXPECT_EQ(recorder.Count(MessageWindow::TimerMessage), 0);
}

TEST(MessageLoop, ADestroyedWindowGetsNothingMore)
{
    MessageLoop loop;
    int delivered = 0;
    {
        MessageWindow window(loop, "gone", [&](unsigned, std::uintptr_t, std::intptr_t) { ++delivered; });
        window.SetTimer(1, 10);
        window.Post(42);
    }
    loop.RunFor(60);
    EXPECT_EQ(delivered, 0);
}

TEST(MessageLoop, SocketReadinessArrivesAsTheWatchedMessage)
{
    MessageLoop loop;
    Recorder recorder(loop);
    UdpSocket receiver;
    UdpSocket sender;
    ASSERT_TRUE(receiver.Open("127.0.0.1", 0));
    ASSERT_TRUE(sender.Open("127.0.0.1", 0));
    ASSERT_TRUE(recorder.window.WatchSocket(receiver.Descriptor(), 0x373));
    ASSERT_TRUE(sender.SendTo("hello", "127.0.0.1", receiver.LocalPort()));
    ASSERT_TRUE(loop.RunUntil([&] { return recorder.Count(0x373) > 0; }, 2000));
    EXPECT_EQ(recorder.received.front().wParam, static_cast<std::uintptr_t>(receiver.Descriptor()));
    EXPECT_EQ(recorder.received.front().lParam, MessageWindow::SocketReadable);
    char buffer[16];
    UdpSocket::Datagram datagram = receiver.Receive(buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(datagram.length)), "hello");
    EXPECT_EQ(datagram.sourcePort, sender.LocalPort());
    recorder.window.UnwatchSocket(receiver.Descriptor());
    recorder.received.clear();
    sender.SendTo("again", "127.0.0.1", receiver.LocalPort());
    loop.RunFor(50);
    EXPECT_EQ(recorder.Count(0x373), 0);
}

TEST(MessageLoop, AHostDrivesTheLoopThroughItsDescriptor)
{
    MessageLoop loop;
    Recorder recorder(loop);
    recorder.window.SetTimer(3, 10);
    recorder.window.Post(0x600);
    int rounds = 0;
    while (recorder.Count(MessageWindow::TimerMessage) < 2 && rounds < 100) {
        pollfd watched{loop.Descriptor(), POLLIN, 0};
        ASSERT_EQ(poll(&watched, 1, 1000), 1) << "the descriptor must become readable for due work";
        loop.Dispatch();
        ++rounds;
    }
    EXPECT_EQ(recorder.Count(0x600), 1);
    EXPECT_GE(recorder.Count(MessageWindow::TimerMessage), 2);
}

TEST(MessageLoop, QuitEndsRunFromAnotherThread)
{
    MessageLoop loop;
    std::thread quitter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        loop.Quit();
    });
    loop.Run();
    quitter.join();
    SUCCEED();
}
