// A host that knows only the control's ProgID: it does not link the control's
// library, finds it through the per-user registry, and drives every method through
// the dispatch interface.

#include "control/OrvSIPUserAgentOCX.h"
#include "platform/ComponentLoader.h"
#include "platform/SharedLibrary.h"
#include "tests/control/ControlTestSupport.h"
#include "tests/platform/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>

using namespace controltest;

namespace {

// Every method of the control's dispatch interface, by dispatch identifier.
const std::map<int, std::string> AllMethods = {
    {1, "UnInitialize"},
    {3, "GetOrvObjectError"},
    {4, "CloseLine"},
    {5, "Connect"},
    {6, "Disconnect"},
    {7, "AcceptCall"},
    {8, "RejectCall"},
    {9, "TransferCall"},
    {10, "HoldLine"},
    {11, "UnHoldLine"},
    {12, "RegisterToProxy"},
    {13, "UnRegisterToProxy"},
    {14, "IsLineOpen"},
    {15, "IsLineHold"},
    {16, "IsLineBusy"},
    {17, "EnableKeepAlive"},
    {18, "DisableKeepAlive"},
    {19, "DeselectAllVoiceCodec"},
    {20, "SelectAllVoiceCodec"},
    {21, "SelectVoiceCodec"},
    {22, "DeselectVoiceCodec"},
    {23, "GetMyIP"},
    {24, "DigitDTMF"},
    {25, "MuteMic"},
    {26, "MuteSpk"},
    {27, "GetMicVolume"},
    {28, "SetMicVolume"},
    {29, "GetSpkVolume"},
    {30, "SetSpkVolume"},
    {31, "EnableMicBoost"},
    {32, "DisableMicBoost"},
    {33, "IsMicBoostEnable"},
    {34, "EnableAGC"},
    {35, "DisableAGC"},
    {36, "EnableEchoNoiseCancellation"},
    {37, "DisableEchoNoiseCancellation"},
    {38, "IsRecording"},
    {39, "StopRecording"},
    {40, "ResetRecording"},
    {41, "SaveRecordingToWaveFile"},
    {42, "IsWaveFilePlaying"},
    {43, "PlayWaveOpen"},
    {44, "PlayWaveSkipTo"},
    {45, "PlayWaveTotalTime"},
    {46, "PlayWavePause"},
    {47, "PlayWaveStart"},
    {48, "PlayWaveStop"},
    {49, "PlayWavePosition"},
    {50, "EnableDonotDisturb"},
    {51, "DisableDonotDisturb"},
    {52, "SetTOS"},
    {53, "GetTOS"},
    {54, "EnableForceInbandDTMF"},
    {55, "DisableForceInbandDTMF"},
    {56, "GetDTMFVolume"},
    {57, "SetDTMFVolume"},
    {58, "GetMicSoundLevel"},
    {59, "GetSpkSoundLevel"},
    {60, "GetAudioInDevTotal"},
    {61, "GetAudioOutDevTotal"},
    {62, "GetAudioOutDevName"},
    {63, "GetAudioInDevName"},
    {64, "Initialize"},
    {65, "OpenLine"},
    {66, "StartRecording"},
    {67, "GetOutboundCodec"},
    {68, "GetInboundCodec"},
    {69, "GetVersionFile"},
    {70, "GetVersionSDK"},
    {71, "JoinTwoLine"},
    {72, "SetAcceptTransfer"},
    {73, "SetMediaEncryption"},
    {74, "GetMediaEncryption"},
    {75, "SetStunServer"},
    {76, "GetCallStatistics"},
    {77, "SetRecordingChannels"},
    {78, "GetRemoteParty"},
};

class ProgIdHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("XDG_CONFIG_HOME", home.File("config").c_str(), 1);
        ASSERT_TRUE(library.Open(ORVSIP_CONTROL_LIBRARY)) << library.Error();
        registerServer = reinterpret_cast<Entry>(library.Symbol("DllRegisterServer"));
        unregisterServer = reinterpret_cast<Entry>(library.Symbol("DllUnregisterServer"));
        ASSERT_NE(registerServer, nullptr);
        ASSERT_NE(unregisterServer, nullptr);
    }

    // The control, created as a host knowing only `name` creates it; nullptr when it
    // cannot be, with the code in `result`.
    std::unique_ptr<OrvSIPUserAgentOCX> Create(const std::string& name, OrvResult& result)
    {
        void* factory = nullptr;
        result = ComponentLoader::GetClassObject(name, OrvClassFactoryInterfaceId, &factory);
        if (result != OrvOk)
            return nullptr;
        void* object = nullptr;
        result = static_cast<OrvClassFactory*>(factory)->CreateInstance(OrvDispatchInterfaceId, &object);
        return std::unique_ptr<OrvSIPUserAgentOCX>(static_cast<OrvSIPUserAgentOCX*>(object));
    }

    // A valid argument for each parameter, by its name, else by its kind.
    OrvValue ValidArgument(const OrvParameter& parameter) const
    {
        const std::map<std::string, OrvValue> byName = {
            {"LineNo", 0},
            {"LineNoA", 0},
            {"LineNoB", 1},
            {"ToURI", "sip:2000@127.0.0.1:" + std::to_string(silent.Port())},
            {"InputDeviceId", -1},
            {"OutputDeviceId", -1},
            {"CallId", std::string("no-such-call")},
            {"Expire", 60},
            {"Seconds", 30},
            {"CodecNo", 3},
            {"Digit", std::string("5")},
            {"Volume", 100},
            {"Level", 3},
            {"DeviceId", 0},
            {"FileName", home.File("wave.wav")},
            {"ListenIP", std::string("127.0.0.1")},
            {"ListenPort", sipPort},
            {"SIPProxy", "127.0.0.1:" + std::to_string(silent.Port())},
            {"LoginId", std::string("1001")},
            {"LoginPwd", std::string("secret")},
            {"BindToListenIP", true},
            {"BindToRTPRxIP", true},
            {"RTPRxIP", std::string("127.0.0.1")},
            {"RTPRxPort", rtpPort},
            {"TotalLine", 2},
        };
        auto found = byName.find(parameter.name);
        if (found != byName.end())
            return found->second;
        switch (parameter.type) {
        case OrvType::Bool: return false;
        case OrvType::Int: return 0;
        case OrvType::String: return std::string();
        case OrvType::None: break;
        }
        return {};
    }

    std::vector<OrvValue> ValidArguments(const OrvMemberInfo& method) const
    {
        std::vector<OrvValue> arguments;
        for (const OrvParameter& parameter : method.parameters)
            arguments.push_back(ValidArgument(parameter));
        return arguments;
    }

    // Calls the method by name and checks the result's kind against the table.
    OrvValue CallByName(OrvSIPUserAgentOCX& control, const OrvMemberInfo& method)
    {
        OrvValue result;
        EXPECT_EQ(control.Invoke(control.GetIDOfName(method.name), ValidArguments(method), result), OrvOk)
            << method.name;
        EXPECT_EQ(result.index(), static_cast<std::size_t>(method.result)) << method.name;
        return result;
    }

    using Entry = OrvResult (*)();
    TempDirectory home;
    SharedLibrary library;
    Entry registerServer = nullptr;
    Entry unregisterServer = nullptr;
    Peer silent;
    int sipPort = FreePort();
    int rtpPort = FreePort();
};

} // namespace

TEST_F(ProgIdHostTest, TheTableHoldsEveryMethod)
{
    ASSERT_EQ(AllMethods.size(), 77u);
    ASSERT_EQ(registerServer(), OrvOk);
    OrvResult result = OrvFail;
    auto control = Create(OrvProgId, result);
    ASSERT_EQ(result, OrvOk);
    const std::map<int, std::string>& expected = AllMethods;
    std::map<int, std::string> table;
    for (const OrvMemberInfo& method : control->Methods()) {
        EXPECT_TRUE(table.emplace(method.dispId, method.name).second) << "identifier used twice: " << method.dispId;
        EXPECT_FALSE(method.help.empty()) << method.name;
        for (const OrvParameter& parameter : method.parameters)
            EXPECT_FALSE(parameter.name.empty()) << method.name;
        EXPECT_EQ(control->GetIDOfName(method.name), method.dispId);
    }
    EXPECT_EQ(table, expected);
    EXPECT_EQ(control->Methods().size(), 77u);
}

TEST_F(ProgIdHostTest, CreatedByNameEveryMethodRunsByNameAndByIdentifier)
{
    OrvResult result = OrvOk;
    EXPECT_EQ(Create(OrvProgId, result), nullptr);
    EXPECT_EQ(result, OrvClassNotRegistered);
    ASSERT_EQ(registerServer(), OrvOk);
    auto byClassId = Create(OrvClassId, result);
    ASSERT_EQ(result, OrvOk);
    auto control = Create(OrvProgId, result);
    ASSERT_EQ(result, OrvOk);
    ASSERT_NE(control, nullptr);
    RecordingSink sink;
    int cookie = control->Advise(&sink);

    std::map<std::string, const OrvMemberInfo*> methods;
    for (const OrvMemberInfo& method : control->Methods())
        methods[method.name] = &method;
    ASSERT_EQ(CallByName(*control, *methods.at("Initialize")), OrvValue(true));
    ASSERT_EQ(CallByName(*control, *methods.at("OpenLine")), OrvValue(true));

    const std::set<std::string> lifecycle = {"Initialize", "OpenLine", "CloseLine", "UnInitialize"};
    for (const OrvMemberInfo& method : control->Methods()) {
        if (lifecycle.count(method.name) != 0)
            continue;
        CallByName(*control, method);
        OrvValue byId;
        EXPECT_EQ(control->Invoke(method.dispId, ValidArguments(method), byId), OrvOk) << method.name;
        EXPECT_EQ(byId.index(), static_cast<std::size_t>(method.result)) << method.name;
    }
    EXPECT_EQ(CallByName(*control, *methods.at("GetVersionFile")), OrvValue(std::string("91, 0, 4, 8")));

    // Connect above armed a call, RegisterToProxy a REGISTER: their events come to
    // the sink, as do those of a request from outside.
    Peer peer;
    peer.Send(peer.Options("by-name-1"), sipPort);
    ASSERT_TRUE(control->RunUntil([&] { return sink.Has(OrvEventId::OnIncomingDiagnostic); }, 5000));
    EXPECT_TRUE(sink.Has(OrvEventId::OnConnecting));
    EXPECT_TRUE(sink.Has(OrvEventId::OnOutgoingDiagnostic));
    EXPECT_NE(peer.Receive(3000).find("SIP/2.0 200 OK"), std::string::npos);

    CallByName(*control, *methods.at("CloseLine"));
    CallByName(*control, *methods.at("UnInitialize"));
    EXPECT_EQ(CallByName(*control, *methods.at("IsLineOpen")), OrvValue(false));
    EXPECT_TRUE(control->Unadvise(cookie));
    EXPECT_EQ(byClassId->GetVersionSDK(), "3, 0, 0, 0");

    ASSERT_EQ(unregisterServer(), OrvOk);
    EXPECT_EQ(Create(OrvProgId, result), nullptr);
    EXPECT_EQ(result, OrvClassNotRegistered);
}
