#include "useragent/SipUserAgent.h"

#include "platform/MessageLoop.h"
#include "platform/UdpSocket.h"
#include "useragent/EventSink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Diagnostic {
    bool incoming;
    std::string text;
    std::string ip;
    int port;
};

class RecordingSink : public EventSink {
public:
    std::vector<Diagnostic> diagnostics;
    void OnEvent(const EventRecord& record) override
    {
        const bool incoming = record.type == EventType::IncomingDiagnostic;
        if (!incoming && record.type != EventType::OutgoingDiagnostic)
            return;
        ASSERT_EQ(record.values.size(), 3u);
        diagnostics.push_back({incoming, std::get<std::string>(record.values[0]),
                               std::get<std::string>(record.values[1]), std::get<int>(record.values[2])});
    }
};

class SipUserAgentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer.Open("127.0.0.1", 0));
        ASSERT_TRUE(probe.Open("127.0.0.1", 0));
        port = probe.LocalPort();
        probe.Close();
    }

    bool Start(int lines = 2)
    {
        return agent.Initialize(true, "127.0.0.1", port, "", "", "127.0.0.1", "1001", "secret", false, lines);
    }

    std::string Options(const std::string& extra = {}) const
    {
        return "OPTIONS sip:1001@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:" + std::to_string(peer.LocalPort()) +
               ";branch=z9hG4bKp1\r\nFrom: <sip:peer@127.0.0.1>;tag=9\r\nTo: <sip:1001@127.0.0.1>\r\n"
               "Call-ID: opt-1@127.0.0.1\r\nCSeq: 3 OPTIONS\r\n" +
               extra + "Content-Length: 0\r\n\r\n";
    }

    // A request from the peer to the agent (INVITE or ACK) of the call "tick-1".
    std::string FromPeer(const std::string& method, const std::string& toTag = {}) const
    {
        return method + " sip:1001@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:" +
               std::to_string(peer.LocalPort()) + ";branch=z9hG4bKt1\r\nFrom: <sip:peer@127.0.0.1>;tag=9\r\n" +
               "To: <sip:1001@127.0.0.1>" + toTag + "\r\nCall-ID: tick-1@127.0.0.1\r\nCSeq: 1 " + method +
               "\r\nContact: <sip:peer@127.0.0.1:" + std::to_string(peer.LocalPort()) +
               ">\r\nMax-Forwards: 70\r\nContent-Length: 0\r\n\r\n";
    }

    // The next datagram at the peer starting with `start`; earlier ones are skipped.
    std::string ReceiveAtPeerStarting(const std::string& start)
    {
        for (std::string text = ReceiveAtPeer(); !text.empty(); text = ReceiveAtPeer()) {
            if (text.rfind(start, 0) == 0)
                return text;
        }
        return {};
    }

    std::string ReceiveAtPeer(int timeoutMs = 2000)
    {
        char buffer[4096];
        std::string text;
        loop.RunUntil(
            [&] {
                UdpSocket::Datagram d = peer.Receive(buffer, sizeof buffer);
                if (d.length > 0)
                    text.assign(buffer, static_cast<std::size_t>(d.length));
                return !text.empty();
            },
            timeoutMs);
        return text;
    }

    MessageLoop loop;
    RecordingSink sink;
    SipUserAgent agent{&sink, loop};
    UdpSocket peer;
    UdpSocket probe;
    int port = 0;
};

} // namespace

TEST_F(SipUserAgentTest, LineOperationsAreGuarded)
{
    EXPECT_FALSE(agent.CheckLine(0));
    EXPECT_EQ(agent.GetLastError(), 10);
    EXPECT_FALSE(agent.OpenLine(0, true, "127.0.0.1", 0));
    EXPECT_EQ(agent.GetLastError(), 10);
    ASSERT_TRUE(Start());
    EXPECT_EQ(agent.GetLastError(), 0);
    EXPECT_FALSE(agent.CheckLine(2));
    EXPECT_EQ(agent.GetLastError(), 29);
    EXPECT_FALSE(agent.CheckLine(-1));
    EXPECT_EQ(agent.GetLastError(), 29);
    EXPECT_FALSE(agent.CheckLine(1));
    EXPECT_EQ(agent.GetLastError(), 31);
    ASSERT_TRUE(agent.OpenLine(1, true, "127.0.0.1", 0));
    EXPECT_TRUE(agent.CheckLine(1));
    EXPECT_TRUE(agent.IsLineOpen(1));
    EXPECT_FALSE(agent.IsLineBusy(1));
    ASSERT_TRUE(agent.CloseLine(1));
    EXPECT_FALSE(agent.CheckLine(1));
    EXPECT_EQ(agent.GetLastError(), 31);
}

TEST_F(SipUserAgentTest, RtpPortInUseFailsWithSocketError)
{
    ASSERT_TRUE(Start());
    EXPECT_FALSE(agent.OpenLine(0, true, "127.0.0.1", peer.LocalPort()));
    EXPECT_EQ(agent.GetLastError(), 11);
    EXPECT_FALSE(agent.IsLineOpen(0));
}

TEST_F(SipUserAgentTest, BusyListenPortFailsWithError11)
{
    UdpSocket squatter;
    ASSERT_TRUE(squatter.Open("127.0.0.1", port));
    EXPECT_FALSE(Start());
    EXPECT_EQ(agent.GetLastError(), 11);
    EXPECT_FALSE(agent.IsInitialized());
    squatter.Close();
    EXPECT_TRUE(Start());
}

TEST_F(SipUserAgentTest, UnsplittableOutboundProxyFailsInitialize)
{
    EXPECT_FALSE(agent.Initialize(true, "127.0.0.1", port, "", "\"open <sip:x", "127.0.0.1", "1001", "pw", false, 1));
    EXPECT_FALSE(agent.IsInitialized());
    UdpSocket again;
    EXPECT_TRUE(again.Open("127.0.0.1", port)) << "the SIP port must be released again";
}

TEST_F(SipUserAgentTest, SecondInitializeStartsFromScratch)
{
    ASSERT_TRUE(Start(2));
    ASSERT_TRUE(agent.OpenLine(1, true, "127.0.0.1", 0));
    ASSERT_TRUE(Start(1));
    EXPECT_FALSE(agent.CheckLine(1));
    EXPECT_EQ(agent.GetLastError(), 29);
    EXPECT_FALSE(agent.CheckLine(0));
    EXPECT_EQ(agent.GetLastError(), 31) << "lines of the previous run are closed";
}

TEST_F(SipUserAgentTest, OptionsIsAnsweredAndEveryMessageAnnouncedAfterTheLoopRuns)
{
    ASSERT_TRUE(Start());
    peer.SendTo(Options(), "127.0.0.1", port);
    std::string answer = ReceiveAtPeer();
    ASSERT_EQ(answer.rfind("SIP/2.0 200 OK\r\n", 0), 0u) << answer;
    EXPECT_NE(answer.find("CSeq: 3 OPTIONS"), std::string::npos);
    EXPECT_NE(answer.find("User-Agent: VIROZIRozeDeder/3.0"), std::string::npos);
    loop.RunFor(50);
    ASSERT_EQ(sink.diagnostics.size(), 2u);
    EXPECT_TRUE(sink.diagnostics[0].incoming);
    EXPECT_EQ(sink.diagnostics[0].text, Options());
    EXPECT_EQ(sink.diagnostics[0].ip, "127.0.0.1");
    EXPECT_EQ(sink.diagnostics[0].port, peer.LocalPort());
    EXPECT_FALSE(sink.diagnostics[1].incoming);
    EXPECT_EQ(sink.diagnostics[1].text, answer);
    EXPECT_EQ(sink.diagnostics[1].port, peer.LocalPort());
}

TEST_F(SipUserAgentTest, DatagramIsReadUpToItsFirstZeroByte)
{
    ASSERT_TRUE(Start());
    std::string withZero = Options() + std::string(1, '\0') + "trailing junk";
    peer.SendTo(withZero, "127.0.0.1", port);
    EXPECT_FALSE(ReceiveAtPeer().empty()) << "the text before the zero byte is a whole request";
    loop.RunFor(50);
    ASSERT_FALSE(sink.diagnostics.empty());
    EXPECT_EQ(sink.diagnostics[0].text, Options());
}

// The entry the SIP fuzz target feeds: the same path as a datagram from the socket,
// with the source given standing for the sender.
TEST_F(SipUserAgentTest, HandedDatagramIsHandledAsAReceivedOne)
{
    ASSERT_TRUE(Start());
    const std::string request = "OPTIONS sip:1001@127.0.0.1 SIP/2.0\r\n"
                                "Via: SIP/2.0/UDP 127.0.0.1:9;branch=z9hG4bKp2;rport\r\n"
                                "From: <sip:peer@127.0.0.1>;tag=9\r\nTo: <sip:1001@127.0.0.1>\r\n"
                                "Call-ID: opt-2@127.0.0.1\r\nCSeq: 4 OPTIONS\r\nContent-Length: 0\r\n\r\n";
    agent.HandleDatagram(request + std::string(1, '\0') + "junk", "127.0.0.1", peer.LocalPort());
    std::string answer = ReceiveAtPeer();
    ASSERT_EQ(answer.rfind("SIP/2.0 200 OK\r\n", 0), 0u) << answer;
    EXPECT_NE(answer.find("rport=" + std::to_string(peer.LocalPort())), std::string::npos) << answer;
    loop.RunFor(50);
    ASSERT_EQ(sink.diagnostics.size(), 2u);
    EXPECT_EQ(sink.diagnostics[0].text, request);
    EXPECT_EQ(sink.diagnostics[0].port, peer.LocalPort());
    agent.HandleDatagram("", "127.0.0.1", peer.LocalPort());
    agent.HandleDatagram(std::string(1, '\0'), "127.0.0.1", peer.LocalPort());
    loop.RunFor(50);
    EXPECT_EQ(sink.diagnostics.size(), 4u) << "empty texts are announced and dropped";
}

TEST_F(SipUserAgentTest, GarbageOfAnySizeIsAnnouncedAndDropped)
{
    ASSERT_TRUE(Start());
    peer.SendTo("\x01\x02 not sip at all", "127.0.0.1", port);
    const std::string largest(65507, 'A');
    peer.SendTo(largest, "127.0.0.1", port);
    peer.SendTo(Options(), "127.0.0.1", port);
    EXPECT_FALSE(ReceiveAtPeer().empty()) << "the agent keeps working after garbage";
    loop.RunFor(50);
    ASSERT_EQ(sink.diagnostics.size(), 4u);
    EXPECT_EQ(sink.diagnostics[0].text, "\x01\x02 not sip at all");
    EXPECT_EQ(sink.diagnostics[1].text, largest) << "read whole, up to the largest UDP payload";
    EXPECT_EQ(sink.diagnostics[2].text, Options());
}

TEST_F(SipUserAgentTest, NothingIsReceivedAfterUnInitialize)
{
    ASSERT_TRUE(Start());
    agent.UnInitialize();
    EXPECT_FALSE(agent.IsInitialized());
    peer.SendTo(Options(), "127.0.0.1", port);
    EXPECT_TRUE(ReceiveAtPeer(200).empty());
    EXPECT_FALSE(agent.CheckLine(0));
    EXPECT_EQ(agent.GetLastError(), 10);
}

TEST_F(SipUserAgentTest, TheTickRunsOnlyWhileACallOrAKeyToneNeedsIt)
{
    ASSERT_TRUE(Start());
    ASSERT_TRUE(agent.OpenLine(0, true, "127.0.0.1", 0));
    EXPECT_FALSE(agent.TickRunning()) << "an initialised agent with nothing to time sleeps";
    peer.SendTo(Options(), "127.0.0.1", port);
    ASSERT_FALSE(ReceiveAtPeer().empty());
    EXPECT_FALSE(agent.TickRunning()) << "an answer sent once waits for nothing";

    peer.SendTo(FromPeer("INVITE"), "127.0.0.1", port);
    ASSERT_FALSE(ReceiveAtPeerStarting("SIP/2.0 180").empty());
    EXPECT_TRUE(agent.TickRunning()) << "a ringing call has its three-minute limit";
    ASSERT_TRUE(agent.RejectCall("tick-1@127.0.0.1"));
    const std::string busy = ReceiveAtPeerStarting("SIP/2.0 486");
    ASSERT_FALSE(busy.empty());
    EXPECT_TRUE(agent.TickRunning()) << "the refusal is resent until acknowledged";
    EXPECT_EQ(ReceiveAtPeerStarting("SIP/2.0 486"), busy) << "resent on the tick";
    const std::size_t tag = busy.find(";tag=", busy.find("\r\nTo:"));
    ASSERT_NE(tag, std::string::npos);
    peer.SendTo(FromPeer("ACK", busy.substr(tag, busy.find("\r\n", tag) - tag)), "127.0.0.1", port);
    EXPECT_TRUE(loop.RunUntil([&] { return !agent.TickRunning(); }, 3000))
        << "with the refusal acknowledged nothing is left to time";

    ASSERT_TRUE(agent.DigitDTMF(0, "5"));
    EXPECT_TRUE(agent.TickRunning()) << "the key tone player is checked once a second";
    EXPECT_TRUE(loop.RunUntil([&] { return !agent.TickRunning(); }, 4000)) << "and left alone once quiet";
}

TEST(SipUserAgentErrors, MediaErrorsTranslateToControlCodes)
{
    EXPECT_EQ(SipUserAgent::TranslateMediaError(50), 10);
    EXPECT_EQ(SipUserAgent::TranslateMediaError(51), 11);
    EXPECT_EQ(SipUserAgent::TranslateMediaError(60), 33);
    EXPECT_EQ(SipUserAgent::TranslateMediaError(62), 31);
    EXPECT_EQ(SipUserAgent::TranslateMediaError(67), 13);
    EXPECT_EQ(SipUserAgent::TranslateMediaError(24), 24);
}
