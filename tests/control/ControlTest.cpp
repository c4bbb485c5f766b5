#include "control/OrvSIPUserAgentOCX.h"
#include "tests/control/ControlTestSupport.h"
#include "tests/platform/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

using namespace controltest;

namespace {

constexpr int EventWaitMs = 5000;

// Answers every REGISTER 200 from its own thread, as a registrar does while the
// control waits inside UnRegisterToProxy.
class Registrar {
public:
    Registrar() : thread_([this] { Serve(); }) {}
    ~Registrar()
    {
        stop_ = true;
        thread_.join();
    }
    int Port() const { return socket_.Port(); }
    int Answered() const { return answered_; }

private:
    static std::string Header(const std::string& request, const std::string& name)
    {
        std::istringstream lines(request);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(name + ":", 0) == 0)
                return line.substr(0, line.find_last_not_of("\r") + 1);
        }
        return {};
    }

    void Serve()
    {
        while (!stop_) {
            int from = 0;
            std::string request = socket_.Receive(50, &from);
            if (request.rfind("REGISTER ", 0) != 0)
                continue;
            std::string to = Header(request, "To");
            std::string answer = "SIP/2.0 200 OK\r\n" + Header(request, "Via") + "\r\n" + Header(request, "From") +
                                 "\r\n" + to + (to.find("tag=") == std::string::npos ? ";tag=reg1" : "") + "\r\n" +
                                 Header(request, "Call-ID") + "\r\n" + Header(request, "CSeq") +
                                 "\r\nExpires: 60\r\nContent-Length: 0\r\n\r\n";
            socket_.Send(answer, from);
            ++answered_;
        }
    }

    Peer socket_;
    std::atomic<bool> stop_{false};
    std::atomic<int> answered_{0};
    std::thread thread_;
};

// Notes whether an event arrived while the test was inside a method call.
class CallWatchingSink : public RecordingSink {
public:
    bool insideCall = false;
    int deliveredInsideCall = 0;

    void Invoke(int dispId, const std::vector<OrvValue>& arguments) override
    {
        if (insideCall)
            ++deliveredInsideCall;
        RecordingSink::Invoke(dispId, arguments);
    }
};

class ControlTest : public ::testing::Test {
protected:
    bool Start(int lines = 2, const std::string& proxy = "127.0.0.1")
    {
        sipPort = FreePort();
        return control.Initialize(true, "127.0.0.1", sipPort, "", "", proxy, "1001", "secret", false, lines) &&
               control.OpenLine(0, true, "127.0.0.1", FreePort());
    }

    bool WaitFor(const RecordingSink& sink, OrvEventId event, std::size_t count = 1)
    {
        return control.RunUntil([&] { return sink.Count(event) >= count; }, EventWaitMs);
    }

    OrvSIPUserAgentOCX control;
    int sipPort = 0;
};

std::string PayloadsOfOffer(const std::vector<std::string>& sent)
{
    for (const std::string& text : sent) {
        std::size_t media = text.find("m=audio ");
        std::size_t payloads = text.find("RTP/AVP", media);
        if (text.rfind("INVITE ", 0) == 0 && media != std::string::npos && payloads != std::string::npos)
            return text.substr(payloads, text.find("\r\n", payloads) - payloads);
    }
    return {};
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace

TEST_F(ControlTest, WhatWorksBeforeInitializeAndVersionsInEveryState)
{
    const std::string file = "91, 0, 4, 8";
    const std::string sdk = "3, 0, 0, 0";
    EXPECT_EQ(control.GetVersionFile(), file);
    EXPECT_EQ(control.GetVersionSDK(), sdk);

    EXPECT_FALSE(control.Connect(0, "sip:2000@127.0.0.1", -1, -1));
    EXPECT_EQ(control.GetOrvObjectError(), 10);
    EXPECT_TRUE(control.SelectVoiceCodec(3));
    EXPECT_TRUE(control.DeselectVoiceCodec(0));
    EXPECT_FALSE(control.SelectVoiceCodec(7));
    EXPECT_EQ(control.GetOrvObjectError(), 23);
    control.EnableDonotDisturb();
    control.DisableDonotDisturb();
    int inputs = control.GetAudioInDevTotal();
    EXPECT_GE(inputs, 0);
    EXPECT_GE(control.GetAudioOutDevTotal(), 0);
    if (inputs > 0) {
        EXPECT_FALSE(control.GetAudioInDevName(0).empty());
    }
    EXPECT_EQ(control.GetAudioInDevName(inputs), "");
    EXPECT_EQ(control.GetMicSoundLevel(), 0);

    // The sound methods marked (Init) fail with 10, the getters give -1.
    EXPECT_FALSE(control.MuteMic(true));
    EXPECT_EQ(control.GetMicVolume(), -1);
    EXPECT_FALSE(control.EnableAGC(5));
    EXPECT_EQ(control.GetOrvObjectError(), 10);
    EXPECT_EQ(control.GetDTMFVolume(), -1);
    EXPECT_EQ(control.GetTOS(0), -1);

    ASSERT_TRUE(Start());
    EXPECT_EQ(control.GetOrvObjectError(), 0);
    EXPECT_EQ(control.GetVersionFile(), file);
    // Without a sound device the volumes have no stream: 16 and 17, translated from
    // the media engine's 55 and 56.
    EXPECT_EQ(control.GetMicVolume(), -1);
    EXPECT_EQ(control.GetOrvObjectError(), 16);
    EXPECT_FALSE(control.SetSpkVolume(10));
    EXPECT_EQ(control.GetOrvObjectError(), 17);
    EXPECT_TRUE(control.MuteMic(true));

    control.UnInitialize();
    EXPECT_EQ(control.GetVersionSDK(), sdk);
    EXPECT_FALSE(control.IsLineOpen(0));
    EXPECT_EQ(control.GetOrvObjectError(), 10);
}

TEST_F(ControlTest, InitializeRestoresTheCodecSelection)
{
    RecordingSink changedSink;
    OrvSIPUserAgentOCX changed;
    changed.Advise(&changedSink);
    changed.DeselectAllVoiceCodec();
    ASSERT_TRUE(changed.SelectVoiceCodec(0));
    // The INVITEs go to a proxy of the test's own that never answers: at 5060 they could
    // ring a trn of a test running beside this one.
    Peer silent;
    const std::string proxy = "127.0.0.1:" + std::to_string(silent.Port());
    ASSERT_TRUE(changed.Initialize(true, "127.0.0.1", FreePort(), "", "", proxy, "1001", "x", false, 1));
    ASSERT_TRUE(changed.OpenLine(0, true, "127.0.0.1", FreePort()));
    const std::string callee = "sip:2000@" + proxy;
    ASSERT_TRUE(changed.Connect(0, callee, -1, -1));

    RecordingSink freshSink;
    control.Advise(&freshSink);
    ASSERT_TRUE(Start(1, proxy));
    ASSERT_TRUE(control.Connect(0, callee, -1, -1));
    auto offered = [](const RecordingSink& sink) { return PayloadsOfOffer(sink.Texts(OrvEventId::OnOutgoingDiagnostic)); };
    ASSERT_TRUE(control.RunUntil([&] { return !offered(changedSink).empty() && !offered(freshSink).empty(); },
                                 EventWaitMs));
    EXPECT_EQ(offered(changedSink), offered(freshSink));

    // The same selection made after Initialize does change the offer.
    ASSERT_TRUE(control.Disconnect(0));
    control.DeselectAllVoiceCodec();
    ASSERT_TRUE(control.SelectVoiceCodec(0));
    std::string before = offered(freshSink);
    freshSink.received.clear();
    ASSERT_TRUE(control.Connect(0, callee, -1, -1));
    ASSERT_TRUE(control.RunUntil([&] { return !offered(freshSink).empty(); }, EventWaitMs));
    EXPECT_NE(offered(freshSink), before);
    EXPECT_NE(offered(freshSink).find("RTP/AVP 3"), std::string::npos) << offered(freshSink);
}

TEST_F(ControlTest, ErrorOfAFailedConnectOutlivesASuccessfulDisconnect)
{
    ASSERT_TRUE(Start(2));
    EXPECT_FALSE(control.Connect(1, "sip:2000@127.0.0.1", -1, -1));
    EXPECT_EQ(control.GetOrvObjectError(), 31);
    EXPECT_TRUE(control.Disconnect(0));
    EXPECT_EQ(control.GetOrvObjectError(), 31);
    EXPECT_FALSE(control.Connect(5, "sip:2000@127.0.0.1", -1, -1));
    EXPECT_TRUE(control.IsLineOpen(0));
    EXPECT_EQ(control.GetOrvObjectError(), 29);
}

TEST_F(ControlTest, EventsQueuedDuringUnRegisterAndUnInitializeFireAfterTheCall)
{
    Registrar registrar;
    CallWatchingSink sink;
    control.Advise(&sink);
    ASSERT_TRUE(Start(1, "127.0.0.1:" + std::to_string(registrar.Port())));
    ASSERT_TRUE(control.RegisterToProxy(60));
    ASSERT_TRUE(WaitFor(sink, OrvEventId::OnSuccessToRegister));

    sink.insideCall = true;
    EXPECT_TRUE(control.UnRegisterToProxy());
    sink.insideCall = false;
    EXPECT_EQ(sink.deliveredInsideCall, 0);
    EXPECT_FALSE(sink.Has(OrvEventId::OnSuccessToUnRegister));
    EXPECT_TRUE(WaitFor(sink, OrvEventId::OnSuccessToUnRegister));

    ASSERT_TRUE(control.RegisterToProxy(60));
    ASSERT_TRUE(WaitFor(sink, OrvEventId::OnSuccessToRegister, 2));
    sink.insideCall = true;
    control.UnInitialize();
    sink.insideCall = false;
    EXPECT_EQ(sink.deliveredInsideCall, 0);
    EXPECT_TRUE(WaitFor(sink, OrvEventId::OnSuccessToUnRegister, 2));
    EXPECT_GE(registrar.Answered(), 4);
}

TEST_F(ControlTest, SeveralSinksAndThePollableDescriptor)
{
    RecordingSink first;
    RecordingSink second;
    EXPECT_EQ(control.Advise(nullptr), 0);
    int firstCookie = control.Advise(&first);
    int secondCookie = control.Advise(&second);
    EXPECT_GT(firstCookie, 0);
    EXPECT_NE(firstCookie, secondCookie);
    ASSERT_TRUE(Start(1));

    Peer peer;
    peer.Send(peer.Options("sinks-1"), sipPort);
    // A host's own loop: wait on the descriptor, dispatch what is due.
    for (int round = 0; round < 100 && !second.Has(OrvEventId::OnOutgoingDiagnostic); ++round) {
        pollfd watched{control.EventDescriptor(), POLLIN, 0};
        if (poll(&watched, 1, 100) > 0)
            control.DispatchEvents();
    }
    ASSERT_TRUE(second.Has(OrvEventId::OnOutgoingDiagnostic));
    ASSERT_EQ(first.received.size(), second.received.size());
    EXPECT_EQ(first.received[0].dispId, static_cast<int>(OrvEventId::OnIncomingDiagnostic));
    EXPECT_EQ(std::get<std::string>(first.received[0].arguments[1]), "127.0.0.1");
    EXPECT_EQ(std::get<int>(first.received[0].arguments[2]), peer.Port());
    EXPECT_NE(peer.Receive(2000).find("SIP/2.0 200"), std::string::npos);

    EXPECT_TRUE(control.Unadvise(firstCookie));
    EXPECT_FALSE(control.Unadvise(firstCookie));
    std::size_t firstHad = first.received.size();
    peer.Send(peer.Options("sinks-2"), sipPort);
    EXPECT_TRUE(WaitFor(second, OrvEventId::OnIncomingDiagnostic, 2));
    EXPECT_EQ(first.received.size(), firstHad);
}

TEST_F(ControlTest, SinkMayDisconnectOthersOrEndTheControlInsideAnEvent)
{
    auto owned = std::make_unique<OrvSIPUserAgentOCX>();
    struct Ending : RecordingSink {
        std::unique_ptr<OrvSIPUserAgentOCX>* control = nullptr;
        int otherCookie = 0;
        void OnIncomingDiagnostic(const std::string&, const std::string&, int) override
        {
            (*control)->Unadvise(otherCookie);
            control->reset();
        }
    } ending;
    RecordingSink later;
    ending.control = &owned;
    owned->Advise(&ending);
    ending.otherCookie = owned->Advise(&later);
    int port = FreePort();
    ASSERT_TRUE(owned->Initialize(true, "127.0.0.1", port, "", "", "127.0.0.1", "1001", "x", false, 1));
    int descriptor = owned->EventDescriptor();
    OrvSIPUserAgentOCX* raw = owned.get();
    Peer peer;
    peer.Send(peer.Options("ending-1"), port);
    for (int round = 0; round < 100 && owned != nullptr; ++round) {
        pollfd watched{descriptor, POLLIN, 0};
        if (poll(&watched, 1, 100) > 0)
            raw->DispatchEvents();
    }
    EXPECT_EQ(owned, nullptr);
    EXPECT_TRUE(ending.Has(OrvEventId::OnIncomingDiagnostic));
    EXPECT_TRUE(later.received.empty());
}

TEST_F(ControlTest, DispatchRefusesCallsThatDoNotFit)
{
    OrvValue result = 7;
    EXPECT_EQ(control.Invoke(2, {}, result), OrvMemberNotFound);
    EXPECT_EQ(control.Invoke(0, {}, result), OrvMemberNotFound);
    EXPECT_EQ(control.Invoke(-5, {}, result), OrvMemberNotFound);
    const int connect = control.GetIDOfName("Connect");
    EXPECT_EQ(connect, 5);
    EXPECT_EQ(control.Invoke(connect, {0, std::string("sip:x@127.0.0.1")}, result), OrvBadParameterCount);
    EXPECT_EQ(control.Invoke(connect, {std::string("0"), std::string("sip:x@127.0.0.1"), -1, -1}, result),
              OrvTypeMismatch);
    EXPECT_EQ(control.Invoke(control.GetIDOfName("MuteMic"), {1}, result), OrvTypeMismatch);
    EXPECT_EQ(control.Invoke(control.GetIDOfName("GetVersionFile"), {OrvValue()}, result), OrvBadParameterCount);
    EXPECT_EQ(std::get<int>(result), 7);
    EXPECT_EQ(control.GetIDOfName("connect"), -1);
    EXPECT_EQ(control.GetIDOfName(""), -1);
    EXPECT_EQ(control.GetIDOfName(std::string(100000, 'A')), -1);

    ASSERT_EQ(control.Invoke(connect, {0, std::string("sip:x@127.0.0.1"), -1, -1}, result), OrvOk);
    EXPECT_EQ(result, OrvValue(false));
    ASSERT_EQ(control.Invoke(control.GetIDOfName("GetOrvObjectError"), {}, result), OrvOk);
    EXPECT_EQ(result, OrvValue(10));
    ASSERT_EQ(control.Invoke(control.GetIDOfName("SelectAllVoiceCodec"), {}, result), OrvOk);
    EXPECT_EQ(result.index(), 0u);
    ASSERT_EQ(control.Invoke(69, {}, result), OrvOk);
    EXPECT_EQ(result, OrvValue(std::string("91, 0, 4, 8")));
}

// Where a virtual member sits in the vtable (the Itanium C++ ABI gives a pointer to a
// virtual member as 1 + its byte offset there).
template <typename Member>
std::ptrdiff_t VtableSlot(Member member)
{
    struct Representation {
        std::uintptr_t pointer;
        std::ptrdiff_t adjustment;
    };
    static_assert(sizeof(Member) == sizeof(Representation));
    Representation representation{};
    std::memcpy(&representation, &member, sizeof representation);
    EXPECT_EQ(representation.pointer % 2, 1u) << "not a virtual member";
    return static_cast<std::ptrdiff_t>((representation.pointer - 1) / sizeof(void*));
}

template <std::size_t... Index>
std::vector<std::ptrdiff_t> SlotsOfTypedMembers(std::index_sequence<Index...>)
{
    constexpr auto members = OrvSIPUserAgentOCXEvents::TypedMembers();
    return {VtableSlot(std::get<Index>(members))...};
}

TEST_F(ControlTest, EventTableAndTypedDeliveryOfForgedArguments)
{
    const std::vector<OrvMemberInfo>& events = control.Events();
    ASSERT_EQ(events.size(), 28u);
    EXPECT_EQ(&events, &OrvSIPUserAgentOCX::ClassEvents());
    // The sink slots hosts derive from: their order is fixed, the table's follows it.
    const std::vector<std::string> slotOrder = {
        "OnIncomingDiagnostic", "OnOutgoingDiagnostic", "OnDTMFDigit", "OnPlayWaveDone", "OnMsgNOTIFY",
        "OnTryingToUnRegister", "OnFailToUnRegister", "OnSuccessToUnRegister", "OnTryingToRegister",
        "OnFailToRegister", "OnSuccessToRegister", "OnFailToConnect", "OnConnecting", "OnIncomingCallRingingStart",
        "OnIncomingCallRingingStop", "OnDisconnectCall", "OnCallTransferAccepted", "OnProvisionalResponse",
        "OnRedirectionResponse", "OnRequestFailureResponse", "OnServerFailureResponse", "OnGeneralFailureResponse",
        "OnSuccessToConnect", "OnVoiceMailMsg", "OnIncomingCall", "OnTryingToReRegister", "OnFailToReRegister",
        "OnSuccessToReRegister"};
    const std::vector<std::ptrdiff_t> slots = SlotsOfTypedMembers(std::make_index_sequence<28>{});
    const std::ptrdiff_t invokeSlot = VtableSlot(&OrvSIPUserAgentOCXEvents::Invoke);
    for (std::size_t at = 0; at < events.size(); ++at) {
        EXPECT_EQ(events[at].dispId, static_cast<int>(at) + 1) << events[at].name;
        EXPECT_EQ(events[at].name, slotOrder[at]);
        EXPECT_EQ(slots[at], invokeSlot + 1 + static_cast<std::ptrdiff_t>(at)) << events[at].name;
    }
    EXPECT_EQ(events[24].name, "OnIncomingCall");
    EXPECT_EQ(events[24].parameters.size(), 5u);
    EXPECT_EQ(events[23].parameters[0].type, OrvType::Bool);
    EXPECT_EQ(events[2].parameters[1].type, OrvType::String) << "OnDTMFDigit's Digit";
    EXPECT_EQ(OrvFindMember(events, "OnPlayWaveDone"), &events[3]);
    EXPECT_EQ(OrvFindMember(events, 4), &events[3]);
    EXPECT_EQ(OrvFindMember(events, 29), nullptr);

    struct Typed : OrvSIPUserAgentOCXEvents {
        std::string callId, fromUri;
        int line = -2, status = -2;
        void OnIncomingCall(const std::string& c, const std::string&, const std::string&, const std::string& f,
                            const std::string&) override
        {
            callId = c;
            fromUri = f;
        }
        void OnProvisionalResponse(int l, int s, const std::string&) override
        {
            line = l;
            status = s;
        }
    } typed;
    typed.Invoke(25, {std::string("abc"), std::string("D"), std::string("u"), std::string("sip:u@h"), std::string()});
    EXPECT_EQ(typed.callId, "abc");
    EXPECT_EQ(typed.fromUri, "sip:u@h");
    // Too few or mistyped arguments read as empty values; unknown identifiers do nothing.
    typed.Invoke(18, {std::string("not a line")});
    EXPECT_EQ(typed.line, 0);
    EXPECT_EQ(typed.status, 0);
    typed.Invoke(25, {});
    EXPECT_EQ(typed.callId, "");
    typed.Invoke(999, {1, 2, 3});
    typed.Invoke(-1, {});
}

TEST(ControlFactoryTest, ClassFactoryAndUnloading)
{
    EXPECT_EQ(DllCanUnloadNow(), OrvOk);
    void* object = nullptr;
    EXPECT_EQ(DllGetClassObject(OrvClassId, OrvClassFactoryInterfaceId, nullptr), OrvInvalidPointer);
    EXPECT_EQ(DllGetClassObject("{00000000-1111-2222-3333-444444444444}", OrvClassFactoryInterfaceId, &object),
              OrvClassNotAvailable);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(DllGetClassObject(nullptr, nullptr, &object), OrvClassNotAvailable);
    EXPECT_EQ(DllGetClassObject(OrvClassId, OrvDispatchInterfaceId, &object), OrvNoInterface);
    ASSERT_EQ(DllGetClassObject("{2935849a-3f6a-4df8-8395-cf9ab3be1835}", OrvClassFactoryInterfaceId, &object), OrvOk);
    auto* factory = static_cast<OrvClassFactory*>(object);

    void* created = nullptr;
    EXPECT_EQ(factory->CreateInstance(OrvEventInterfaceId, &created), OrvNoInterface);
    EXPECT_EQ(created, nullptr);
    EXPECT_EQ(factory->CreateInstance(OrvDispatchInterfaceId, nullptr), OrvInvalidPointer);
    ASSERT_EQ(factory->CreateInstance(OrvDispatchInterfaceId, &created), OrvOk);
    std::unique_ptr<OrvSIPUserAgentOCX> control(static_cast<OrvSIPUserAgentOCX*>(created));
    EXPECT_EQ(control->GetVersionSDK(), "3, 0, 0, 0");
    EXPECT_EQ(control->GetIDOfName("Initialize"), 64);
    EXPECT_EQ(DllCanUnloadNow(), OrvFalse);
    control.reset();
    EXPECT_EQ(DllCanUnloadNow(), OrvOk);
    EXPECT_EQ(factory->LockServer(true), OrvOk);
    EXPECT_EQ(DllCanUnloadNow(), OrvFalse);
    EXPECT_EQ(factory->LockServer(false), OrvOk);
    EXPECT_EQ(factory->LockServer(false), OrvOk);
    EXPECT_EQ(DllCanUnloadNow(), OrvOk);
}

TEST(ControlRegistrationTest, RegisterCreateByNameUnregister)
{
    TempDirectory home;
    setenv("XDG_CONFIG_HOME", home.File("config").c_str(), 1);
    const std::string registryFile = home.File("config/orvsip/components.ini");
    std::unique_ptr<OrvSIPUserAgentOCX> control;
    EXPECT_EQ(OrvCreateInstance(OrvProgId, control), OrvClassNotRegistered);

    ASSERT_EQ(DllRegisterServer(), OrvOk);
    std::string text = ReadFile(registryFile);
    EXPECT_NE(text.find(std::string("[CLSID\\") + OrvClassId + "]"), std::string::npos) << text;
    EXPECT_NE(text.find(std::string("[ProgID\\") + OrvProgId + "]"), std::string::npos);
    EXPECT_NE(text.find(std::string("[TypeLib\\") + OrvTypeLibraryId + "]"), std::string::npos);
    EXPECT_NE(text.find("Name=ORVSIPUSERAGENTOCXLib"), std::string::npos);
    EXPECT_NE(text.find("Doc=Event interface for OrvSIPUserAgentOCX Control"), std::string::npos);
    std::size_t server = text.find("InprocServer32=/");
    ASSERT_NE(server, std::string::npos);
    std::string library = text.substr(server + 15, text.find('\n', server) - server - 15);
    EXPECT_EQ(access(library.c_str(), R_OK), 0) << library;
    EXPECT_NE(library.find("libOrvSIPUserAgentOCX.so"), std::string::npos);
    // Registering again changes nothing.
    ASSERT_EQ(DllRegisterServer(), OrvOk);
    EXPECT_EQ(ReadFile(registryFile), text);

    ASSERT_EQ(OrvCreateInstance(OrvProgId, control), OrvOk);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->GetVersionFile(), "91, 0, 4, 8");
    ASSERT_EQ(OrvCreateInstance("{2935849a-3f6a-4df8-8395-cf9ab3be1835}", control), OrvOk);
    EXPECT_EQ(OrvCreateInstance("ORVSIPUSERAGENTOCX.Nothing.1", control), OrvClassNotRegistered);
    EXPECT_EQ(control, nullptr);

    ASSERT_EQ(DllUnregisterServer(), OrvOk);
    text = ReadFile(registryFile);
    EXPECT_EQ(text.find("CLSID"), std::string::npos) << text;
    EXPECT_EQ(text.find("TypeLib"), std::string::npos) << text;
    EXPECT_EQ(text.find("Interface"), std::string::npos) << text;
    EXPECT_EQ(OrvCreateInstance(OrvProgId, control), OrvClassNotRegistered);
    EXPECT_EQ(DllUnregisterServer(), OrvOk);
}

TEST(ControlRegistrationTest, UnwritableRegistryRegistersNothing)
{
    TempDirectory home;
    // A file where the configuration folder should be: not even root can write below it.
    std::ofstream(home.File("config")) << "not a folder";
    setenv("XDG_CONFIG_HOME", home.File("config").c_str(), 1);
    EXPECT_EQ(DllRegisterServer(), OrvSelfRegTypeLib);
    EXPECT_EQ(DllUnregisterServer(), OrvSelfRegTypeLib);
    std::unique_ptr<OrvSIPUserAgentOCX> control;
    EXPECT_EQ(OrvCreateInstance(OrvProgId, control), OrvClassNotRegistered);
    EXPECT_EQ(OrvCreateInstance(OrvClassId, control), OrvClassNotRegistered);

    // A registry file that is a folder cannot be read or replaced either.
    setenv("XDG_CONFIG_HOME", home.File("other").c_str(), 1);
    ASSERT_EQ(system(("mkdir -p " + home.File("other/orvsip/components.ini")).c_str()), 0);
    EXPECT_EQ(DllRegisterServer(), OrvSelfRegTypeLib);
    EXPECT_EQ(OrvCreateInstance(OrvProgId, control), OrvClassNotRegistered);
}
