// The control under a host that errs: sinks that throw, calls from the wrong thread,
// destinations that cannot be reached, and texts with holes in them.

#include "control/OrvSIPUserAgentOCX.h"
#include "tests/control/ControlTestSupport.h"
#include "tests/platform/TempDirectory.h"
#include "tests/platform/TestDnsServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

using namespace controltest;

namespace {

constexpr int EventWaitMs = 5000;

std::string Invite(const Peer& peer, const std::string& callId)
{
    const std::string port = std::to_string(peer.Port());
    return "INVITE sip:1001@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:" + port + ";branch=z9hG4bK" + callId +
           "\r\nFrom: <sip:peer@127.0.0.1>;tag=9\r\nTo: <sip:1001@127.0.0.1>\r\nCall-ID: " + callId +
           "\r\nCSeq: 1 INVITE\r\nContact: <sip:peer@127.0.0.1:" + port +
           ">\r\nMax-Forwards: 70\r\nContent-Length: 0\r\n\r\n";
}

std::vector<int> DispIds(const RecordingSink& sink)
{
    std::vector<int> ids;
    for (const ReceivedEvent& event : sink.received)
        ids.push_back(event.dispId);
    return ids;
}

bool SentRequestStarting(const RecordingSink& sink, const std::string& start)
{
    for (const std::string& text : sink.Texts(OrvEventId::OnOutgoingDiagnostic)) {
        if (text.rfind(start, 0) == 0)
            return true;
    }
    return false;
}

// A host's own loop that survives its sinks' exceptions: it catches what a dispatch
// throws and dispatches again.
class CatchingHost {
public:
    explicit CatchingHost(OrvSIPUserAgentOCX& control) : control_(control) {}

    // Dispatches until `done` holds; false after 100 rounds of 100 ms.
    template <typename Done>
    bool DispatchUntil(Done done)
    {
        for (int round = 0; round < 100 && !done(); ++round) {
            pollfd watched{control_.EventDescriptor(), POLLIN, 0};
            if (poll(&watched, 1, 100) <= 0)
                continue;
            ++dispatches;
            try {
                control_.DispatchEvents();
            } catch (const std::runtime_error& error) {
                caught.push_back(error.what());
            }
        }
        return done();
    }

    int dispatches = 0;
    std::vector<std::string> caught;

private:
    OrvSIPUserAgentOCX& control_;
};

} // namespace

TEST(CarelessHostTest, ASinkThatThrowsLosesDelaysAndReordersNothing)
{
    struct Throwing : RecordingSink {
        void Invoke(int dispId, const std::vector<OrvValue>& arguments) override
        {
            RecordingSink::Invoke(dispId, arguments);
            if (received.size() == 1)
                throw std::runtime_error("the host's own fault");
        }
    };
    Throwing first;
    RecordingSink second;
    OrvSIPUserAgentOCX control;
    control.Advise(&first);
    control.Advise(&second);
    const int port = FreePort();
    ASSERT_TRUE(control.Initialize(true, "127.0.0.1", port, "", "", "127.0.0.1", "1001", "x", false, 1));
    CatchingHost host(control);
    Peer peer;

    peer.Send(peer.Options("throwing-1"), port);
    ASSERT_TRUE(host.DispatchUntil([&] { return second.Has(OrvEventId::OnOutgoingDiagnostic); }));
    EXPECT_EQ(host.caught, std::vector<std::string>{"the host's own fault"});
    EXPECT_EQ(second.Count(OrvEventId::OnIncomingDiagnostic), 1u) << "the second sink had the event that threw";

    // The events of an incoming call come in the dispatch after the one that read
    // its INVITE, all of them, to both sinks alike.
    peer.Send(Invite(peer, "throwing-call"), port);
    ASSERT_TRUE(host.DispatchUntil([&] { return second.Count(OrvEventId::OnIncomingDiagnostic) == 2; }));
    const int diagnosticAt = host.dispatches;
    EXPECT_TRUE(second.Has(OrvEventId::OnIncomingCall)) << "the incoming call lagged behind its datagram";
    EXPECT_TRUE(second.Has(OrvEventId::OnIncomingCallRingingStart));
    ASSERT_TRUE(host.DispatchUntil([&] { return second.Has(OrvEventId::OnIncomingCallRingingStart); }));
    EXPECT_EQ(host.dispatches, diagnosticAt);
    using E = OrvEventId;
    const auto id = [](E event) { return static_cast<int>(event); };
    EXPECT_EQ(DispIds(second), (std::vector<int>{id(E::OnIncomingDiagnostic), id(E::OnOutgoingDiagnostic),
                                                 id(E::OnIncomingDiagnostic), id(E::OnOutgoingDiagnostic),
                                                 id(E::OnOutgoingDiagnostic), id(E::OnIncomingCall),
                                                 id(E::OnIncomingCallRingingStart)}));
    EXPECT_EQ(DispIds(first), DispIds(second));
    EXPECT_EQ(second.Texts(E::OnIncomingCall), std::vector<std::string>{"throwing-call"});
    EXPECT_EQ(host.caught.size(), 1u);
}

TEST(CarelessHostTest, AControlBelongsToItsThreadAndGoesCleanlyAfterIt)
{
    std::unique_ptr<OrvSIPUserAgentOCX> control;
    const int sipPort = FreePort();
    std::mutex mutex;
    std::condition_variable changed;
    bool made = false;
    bool release = false;
    std::thread owner([&] {
        auto own = std::make_unique<OrvSIPUserAgentOCX>();
        EXPECT_TRUE(own->Initialize(true, "127.0.0.1", sipPort, "", "", "127.0.0.1", "1001", "x", false, 1));
        EXPECT_TRUE(own->OpenLine(0, true, "127.0.0.1", FreePort()));
        std::unique_lock lock(mutex);
        control = std::move(own);
        made = true;
        changed.notify_all();
        changed.wait(lock, [&] { return release; });
    });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return made; });
    }
    // Used from here while its thread lives, and after that thread ended: every
    // method fails with 40 and touches nothing.
    for (int phase = 0; phase < 2; ++phase) {
        RecordingSink sink;
        EXPECT_FALSE(control->OpenLine(0, true, "127.0.0.1", FreePort()));
        EXPECT_EQ(control->GetOrvObjectError(), 40);
        EXPECT_FALSE(control->IsLineOpen(0));
        EXPECT_FALSE(control->Connect(0, "sip:2000@127.0.0.1", -1, -1));
        EXPECT_EQ(control->GetMicVolume(), -1);
        EXPECT_EQ(control->GetVersionSDK(), "");
        EXPECT_EQ(control->Advise(&sink), 0);
        EXPECT_FALSE(control->Unadvise(1));
        EXPECT_EQ(control->DispatchEvents(), 0);
        EXPECT_FALSE(control->RunUntil([] { return true; }, 10));
        OrvValue result;
        EXPECT_EQ(control->Invoke(control->GetIDOfName("IsLineOpen"), {0}, result), OrvOk);
        EXPECT_EQ(result, OrvValue(false));
        EXPECT_EQ(control->Methods().size(), OrvSIPUserAgentOCX::ClassMethods().size());
        EXPECT_FALSE(TestPorts::IsFree(sipPort, SOCK_DGRAM));
        if (phase == 0) {
            {
                std::lock_guard lock(mutex);
                release = true;
            }
            changed.notify_all();
            owner.join();
        }
    }
    control.reset();
    EXPECT_TRUE(TestPorts::IsFree(sipPort, SOCK_DGRAM)) << "deleting it un-initialised it";

    OrvSIPUserAgentOCX here;
    EXPECT_TRUE(here.Initialize(true, "127.0.0.1", sipPort, "", "", "127.0.0.1", "1001", "x", false, 1));
    EXPECT_EQ(here.GetOrvObjectError(), 0);
    EXPECT_EQ(here.GetVersionSDK(), "3, 0, 0, 0");
}

TEST(CarelessHostTest, AMessageThatWasNotSentIsNotReportedAsSent)
{
    TestDnsServer dns;
    dns.SetSilent(true);
    setenv("ORVSIP_DNS_SERVER", dns.Address().c_str(), 1);
    RecordingSink sink;
    OrvSIPUserAgentOCX control;
    control.Advise(&sink);
    ASSERT_TRUE(control.Initialize(true, "127.0.0.1", FreePort(), "", "", "", "1001", "x", false, 2));
    ASSERT_TRUE(control.OpenLine(0, true, "127.0.0.1", FreePort()));
    ASSERT_TRUE(control.OpenLine(1, true, "127.0.0.1", FreePort()));

    // Known at once: an INVITE no datagram carries.
    const std::string huge = "sip:" + std::string(70000, 'a') + "@127.0.0.1";
    EXPECT_FALSE(control.Connect(0, huge, -1, -1));
    EXPECT_EQ(control.GetOrvObjectError(), 25);
    EXPECT_FALSE(control.IsLineBusy(0));
    control.RunFor(200);
    EXPECT_TRUE(sink.received.empty()) << "no OnConnecting, no OnOutgoingDiagnostic";

    // A reserved name: no look-up at all, and the call fails at once.
    ASSERT_TRUE(control.Connect(0, "sip:2000@sip.nosuch.invalid", -1, -1));
    EXPECT_TRUE(control.IsLineBusy(0));
    ASSERT_TRUE(control.RunUntil([&] { return sink.Has(OrvEventId::OnFailToConnect); }, EventWaitMs));
    EXPECT_FALSE(control.IsLineBusy(0));

    // A server that never answers: the look-up leaves the host's thread alone, and
    // the other line's call goes on meanwhile.
    Peer callee;
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(control.Connect(0, "sip:2000@slow.test", -1, -1));
    ASSERT_TRUE(control.Connect(1, "sip:3000@127.0.0.1:" + std::to_string(callee.Port()), -1, -1));
    const auto before = std::chrono::steady_clock::now();
    control.RunFor(100);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1000));
    EXPECT_NE(callee.Receive(2000).find("INVITE sip:3000@"), std::string::npos);
    ASSERT_TRUE(control.RunUntil([&] { return sink.Count(OrvEventId::OnFailToConnect) == 2; }, EventWaitMs));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(EventWaitMs));
    EXPECT_GE(dns.Queries("slow.test"), 1);
    EXPECT_FALSE(SentRequestStarting(sink, "INVITE sip:2000@")) << "an INVITE that never left was announced";
    EXPECT_TRUE(SentRequestStarting(sink, "INVITE sip:3000@"));
    EXPECT_FALSE(control.IsLineBusy(0));
    EXPECT_TRUE(control.IsLineBusy(1));
    ASSERT_TRUE(control.Disconnect(1));

    // A name the server knows: the call leaves for its address, announced with it.
    dns.SetSilent(false);
    dns.Add("callee.test", "127.0.0.1", 60);
    ASSERT_TRUE(control.Connect(0, "sip:4000@callee.test:" + std::to_string(callee.Port()), -1, -1));
    ASSERT_TRUE(control.RunUntil([&] { return SentRequestStarting(sink, "INVITE sip:4000@"); }, EventWaitMs));
    for (const ReceivedEvent& event : sink.received) {
        if (event.dispId == static_cast<int>(OrvEventId::OnOutgoingDiagnostic)) {
            EXPECT_EQ(std::get<std::string>(event.arguments[1]), "127.0.0.1");
        }
    }
    unsetenv("ORVSIP_DNS_SERVER");
}

TEST(CarelessHostTest, ARegistrarThatDoesNotResolveFailsTheRegistrationAtOnce)
{
    RecordingSink sink;
    OrvSIPUserAgentOCX control;
    control.Advise(&sink);
    ASSERT_TRUE(control.Initialize(true, "127.0.0.1", FreePort(), "", "", "registrar.invalid", "1001", "x", false, 1));
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(control.RegisterToProxy(60));
    ASSERT_TRUE(control.RunUntil([&] { return sink.Has(OrvEventId::OnFailToRegister); }, EventWaitMs));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(EventWaitMs));
    EXPECT_FALSE(sink.Has(OrvEventId::OnOutgoingDiagnostic));
}

TEST(CarelessHostTest, TextsHoldingANulAndNegativeExpiriesAreRefused)
{
    TempDirectory folder;
    const std::string nul(1, '\0');
    OrvSIPUserAgentOCX control;
    EXPECT_FALSE(control.Initialize(true, "127.0.0.1", FreePort(), "", "", "127.0.0.1", "1001", "se" + nul + "cret",
                                    false, 1));
    EXPECT_EQ(control.GetOrvObjectError(), 26);
    EXPECT_FALSE(control.Initialize(true, "127.0.0.1" + nul + "x", FreePort(), "", "", "127.0.0.1", "1001", "x",
                                    false, 1));
    EXPECT_EQ(control.GetOrvObjectError(), 11);

    Peer registrar;
    ASSERT_TRUE(control.Initialize(true, "127.0.0.1", FreePort(), "", "", "127.0.0.1:" + std::to_string(registrar.Port()),
                                   "1001", "x", false, 1));
    EXPECT_FALSE(control.OpenLine(0, true, "127.0.0.1" + nul, FreePort()));
    EXPECT_EQ(control.GetOrvObjectError(), 11);
    ASSERT_TRUE(control.OpenLine(0, true, "127.0.0.1", FreePort()));
    const std::string recording = folder.File("sip:a");
    EXPECT_FALSE(control.SaveRecordingToWaveFile(0, recording + nul + "b"));
    EXPECT_EQ(control.GetOrvObjectError(), 21);
    EXPECT_NE(access(recording.c_str(), F_OK), 0) << "a file named by the text before the NUL was written";
    EXPECT_FALSE(control.PlayWaveOpen(0, recording + nul));
    EXPECT_EQ(control.GetOrvObjectError(), 21);
    EXPECT_FALSE(control.Connect(0, "sip:2000@127.0.0.1" + nul + "x", -1, -1));
    EXPECT_EQ(control.GetOrvObjectError(), 25);
    EXPECT_FALSE(control.IsLineBusy(0));
    EXPECT_FALSE(control.DigitDTMF(0, "1" + nul));
    EXPECT_EQ(control.GetOrvObjectError(), 25);
    EXPECT_FALSE(control.RejectCall("call" + nul));
    EXPECT_EQ(control.GetOrvObjectError(), 32);

    EXPECT_FALSE(control.RegisterToProxy(-5));
    EXPECT_EQ(control.GetOrvObjectError(), 26);
    EXPECT_EQ(registrar.Receive(300), "") << "a REGISTER went out";
    EXPECT_TRUE(control.RegisterToProxy(0)) << "0 is an expiry a registrar understands";
    EXPECT_NE(registrar.Receive(2000).find("Expires: 0"), std::string::npos);
}
