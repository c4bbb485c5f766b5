#include "control/OrvSIPUserAgentOCX.h"

#include "control/ClassFactory.h"
#include "control/ConnectionPoint.h"
#include "control/ControlEventSink.h"
#include "control/EventTable.h"
#include "control/MethodTable.h"
#include "media/AudioControl.h"
#include "media/MediaEngine.h"
#include "media/MediaError.h"
#include "platform/MessageLoop.h"
#include "platform/WaveBackend.h"
#include "useragent/SipUserAgent.h"

struct OrvSIPUserAgentOCX::Impl {
    Impl() : loop(MessageLoop::ForCurrentThread()), sink(connections, loop) {}

    SipUserAgent& Engine() { return sink.Engine(); }
    AudioControl Sound() { return Engine().Media().Sound(); }

    // Methods marked (Init) fail with 10 before Initialize.
    bool RequireInitialized()
    {
        if (!Engine().IsInitialized())
            Engine().SetLastError(10);
        return Engine().IsInitialized();
    }

    // true for a media result of 0; otherwise the translated code becomes the last
    // error (a missing boost switch fails without one).
    bool MediaResult(int mediaCode)
    {
        if (mediaCode == MediaOk)
            return true;
        if (mediaCode != MediaNoBoostControl)
            Engine().SetLastError(SipUserAgent::TranslateMediaError(mediaCode));
        return false;
    }

    MessageLoop& loop;
    ConnectionPoint connections;
    ControlEventSink sink;
};

OrvSIPUserAgentOCX::OrvSIPUserAgentOCX() : impl_(std::make_unique<Impl>())
{
    ClassFactory::ObjectCreated();
}

OrvSIPUserAgentOCX::~OrvSIPUserAgentOCX()
{
    impl_.reset();
    ClassFactory::ObjectDestroyed();
}

// ---- Dispatch interface ---------------------------------------------------------------

const std::vector<OrvMemberInfo>& OrvSIPUserAgentOCX::Methods() const
{
    return MethodTable::Instance().Methods();
}

const std::vector<OrvMemberInfo>& OrvSIPUserAgentOCX::Events() const
{
    return EventTable::Events();
}

int OrvSIPUserAgentOCX::GetIDOfName(const std::string& name) const
{
    return MethodTable::Instance().IdOfName(name);
}

OrvResult OrvSIPUserAgentOCX::Invoke(int dispId, const std::vector<OrvValue>& arguments, OrvValue& result)
{
    return MethodTable::Instance().Invoke(*this, dispId, arguments, result);
}

int OrvSIPUserAgentOCX::Advise(OrvSIPUserAgentOCXEvents* sink)
{
    return impl_->connections.Advise(sink);
}

bool OrvSIPUserAgentOCX::Unadvise(int cookie)
{
    return impl_->connections.Unadvise(cookie);
}

// ---- Message loop -----------------------------------------------------------------------

int OrvSIPUserAgentOCX::EventDescriptor() const
{
    return impl_->loop.Descriptor();
}

int OrvSIPUserAgentOCX::DispatchEvents()
{
    return impl_->loop.Dispatch();
}

void OrvSIPUserAgentOCX::RunFor(int milliseconds)
{
    impl_->loop.RunFor(milliseconds);
}

bool OrvSIPUserAgentOCX::RunUntil(const std::function<bool()>& done, int timeoutMs)
{
    return impl_->loop.RunUntil(done ? done : [] { return false; }, timeoutMs);
}

// ---- The engine's methods ---------------------------------------------------------------

bool OrvSIPUserAgentOCX::Initialize(bool bindToListenIp, const std::string& listenIp, int listenPort,
                                    const std::string& fromUri, const std::string& sipOutBoundProxy,
                                    const std::string& sipProxy, const std::string& loginId,
                                    const std::string& loginPwd, bool useSoundDevice, int totalLine)
{
    return impl_->Engine().Initialize(bindToListenIp, listenIp, listenPort, fromUri, sipOutBoundProxy, sipProxy,
                                      loginId, loginPwd, useSoundDevice, totalLine);
}

void OrvSIPUserAgentOCX::UnInitialize() { impl_->Engine().UnInitialize(); }
int OrvSIPUserAgentOCX::GetOrvObjectError() { return impl_->Engine().GetLastError(); }
bool OrvSIPUserAgentOCX::CloseLine(int lineNo) { return impl_->Engine().CloseLine(lineNo); }
bool OrvSIPUserAgentOCX::Disconnect(int lineNo) { return impl_->Engine().Disconnect(lineNo); }
bool OrvSIPUserAgentOCX::RejectCall(const std::string& callId) { return impl_->Engine().RejectCall(callId); }
bool OrvSIPUserAgentOCX::HoldLine(int lineNo) { return impl_->Engine().HoldLine(lineNo); }
bool OrvSIPUserAgentOCX::UnHoldLine(int lineNo) { return impl_->Engine().UnHoldLine(lineNo); }
bool OrvSIPUserAgentOCX::JoinTwoLine(int lineNoA, int lineNoB) { return impl_->Engine().JoinTwoLine(lineNoA, lineNoB); }
bool OrvSIPUserAgentOCX::RegisterToProxy(int expire) { return impl_->Engine().RegisterToProxy(expire); }
bool OrvSIPUserAgentOCX::UnRegisterToProxy() { return impl_->Engine().UnRegisterToProxy(); }
bool OrvSIPUserAgentOCX::IsLineOpen(int lineNo) { return impl_->Engine().IsLineOpen(lineNo); }
bool OrvSIPUserAgentOCX::IsLineHold(int lineNo) { return impl_->Engine().IsLineHold(lineNo); }
bool OrvSIPUserAgentOCX::IsLineBusy(int lineNo) { return impl_->Engine().IsLineBusy(lineNo); }
bool OrvSIPUserAgentOCX::EnableKeepAlive(int seconds) { return impl_->Engine().EnableKeepAlive(seconds); }
void OrvSIPUserAgentOCX::DisableKeepAlive() { impl_->Engine().DisableKeepAlive(); }
void OrvSIPUserAgentOCX::DeselectAllVoiceCodec() { impl_->Engine().DeselectAllVoiceCodec(); }
void OrvSIPUserAgentOCX::SelectAllVoiceCodec() { impl_->Engine().SelectAllVoiceCodec(); }
bool OrvSIPUserAgentOCX::SelectVoiceCodec(int codecNo) { return impl_->Engine().SelectVoiceCodec(codecNo); }
bool OrvSIPUserAgentOCX::DeselectVoiceCodec(int codecNo) { return impl_->Engine().DeselectVoiceCodec(codecNo); }
std::string OrvSIPUserAgentOCX::GetMyIP() { return impl_->Engine().GetMyIP(); }
bool OrvSIPUserAgentOCX::DigitDTMF(int lineNo, const std::string& digit) { return impl_->Engine().DigitDTMF(lineNo, digit); }
void OrvSIPUserAgentOCX::EnableDonotDisturb() { impl_->Engine().EnableDonotDisturb(); }
void OrvSIPUserAgentOCX::DisableDonotDisturb() { impl_->Engine().DisableDonotDisturb(); }
bool OrvSIPUserAgentOCX::SetTOS(int lineNo, int value) { return impl_->Engine().SetTOS(lineNo, value); }
int OrvSIPUserAgentOCX::GetTOS(int lineNo) { return impl_->Engine().GetTOS(lineNo); }
bool OrvSIPUserAgentOCX::EnableForceInbandDTMF(int lineNo) { return impl_->Engine().EnableForceInbandDTMF(lineNo); }
bool OrvSIPUserAgentOCX::DisableForceInbandDTMF(int lineNo) { return impl_->Engine().DisableForceInbandDTMF(lineNo); }
int OrvSIPUserAgentOCX::GetDTMFVolume() { return impl_->Engine().GetDTMFVolume(); }
bool OrvSIPUserAgentOCX::SetDTMFVolume(int volume) { return impl_->Engine().SetDTMFVolume(volume); }
int OrvSIPUserAgentOCX::GetOutboundCodec(int lineNo) { return impl_->Engine().GetOutboundCodec(lineNo); }
int OrvSIPUserAgentOCX::GetInboundCodec(int lineNo) { return impl_->Engine().GetInboundCodec(lineNo); }

bool OrvSIPUserAgentOCX::Connect(int lineNo, const std::string& toUri, int inputDeviceId, int outputDeviceId)
{
    return impl_->Engine().Connect(lineNo, toUri, inputDeviceId, outputDeviceId);
}

bool OrvSIPUserAgentOCX::AcceptCall(int lineNo, const std::string& callId, int inputDeviceId, int outputDeviceId)
{
    return impl_->Engine().AcceptCall(lineNo, callId, inputDeviceId, outputDeviceId);
}

bool OrvSIPUserAgentOCX::TransferCall(int lineNo, const std::string& toUri)
{
    return impl_->Engine().TransferCall(lineNo, toUri);
}

bool OrvSIPUserAgentOCX::OpenLine(int lineNo, bool bindToRtpRxIp, const std::string& rtpRxIp, int rtpRxPort)
{
    return impl_->Engine().OpenLine(lineNo, bindToRtpRxIp, rtpRxIp, rtpRxPort);
}

// ---- The media engine's methods ---------------------------------------------------------

bool OrvSIPUserAgentOCX::MuteMic(bool mute)
{
    return impl_->RequireInitialized() && impl_->MediaResult(impl_->Sound().MuteMicrophone(mute));
}

bool OrvSIPUserAgentOCX::MuteSpk(bool mute)
{
    return impl_->RequireInitialized() && impl_->MediaResult(impl_->Sound().MuteSpeaker(mute));
}

int OrvSIPUserAgentOCX::GetMicVolume()
{
    int volume = -1;
    if (impl_->RequireInitialized())
        impl_->MediaResult(impl_->Sound().GetMicrophoneVolume(volume));
    return volume;
}

bool OrvSIPUserAgentOCX::SetMicVolume(int volume)
{
    return impl_->RequireInitialized() && impl_->MediaResult(impl_->Sound().SetMicrophoneVolume(volume));
}

int OrvSIPUserAgentOCX::GetSpkVolume()
{
    int volume = -1;
    if (impl_->RequireInitialized())
        impl_->MediaResult(impl_->Sound().GetSpeakerVolume(volume));
    return volume;
}

bool OrvSIPUserAgentOCX::SetSpkVolume(int volume)
{
    return impl_->RequireInitialized() && impl_->MediaResult(impl_->Sound().SetSpeakerVolume(volume));
}

bool OrvSIPUserAgentOCX::EnableMicBoost()
{
    return impl_->RequireInitialized() && impl_->MediaResult(impl_->Sound().EnableMicrophoneBoost());
}

bool OrvSIPUserAgentOCX::DisableMicBoost()
{
    return impl_->RequireInitialized() && impl_->MediaResult(impl_->Sound().DisableMicrophoneBoost());
}

bool OrvSIPUserAgentOCX::IsMicBoostEnable()
{
    bool enabled = false;
    return impl_->MediaResult(impl_->Sound().IsMicrophoneBoostEnabled(enabled)) && enabled;
}

bool OrvSIPUserAgentOCX::EnableAGC(int level)
{
    return impl_->RequireInitialized() && impl_->MediaResult(impl_->Sound().EnableAgc(static_cast<float>(level)));
}

bool OrvSIPUserAgentOCX::DisableAGC()
{
    return impl_->RequireInitialized() && impl_->MediaResult(impl_->Sound().DisableAgc());
}

bool OrvSIPUserAgentOCX::EnableEchoNoiseCancellation()
{
    return impl_->RequireInitialized() && impl_->MediaResult(impl_->Sound().EnableEchoNoiseCancellation());
}

bool OrvSIPUserAgentOCX::DisableEchoNoiseCancellation()
{
    return impl_->RequireInitialized() && impl_->MediaResult(impl_->Sound().DisableEchoNoiseCancellation());
}

int OrvSIPUserAgentOCX::GetMicSoundLevel() { return impl_->Sound().MicrophoneLevel(); }
int OrvSIPUserAgentOCX::GetSpkSoundLevel() { return impl_->Sound().SpeakerLevel(); }
int OrvSIPUserAgentOCX::GetAudioInDevTotal() { return AudioControl::InputDeviceTotal(WaveBackend::Current()); }
int OrvSIPUserAgentOCX::GetAudioOutDevTotal() { return AudioControl::OutputDeviceTotal(WaveBackend::Current()); }

std::string OrvSIPUserAgentOCX::GetAudioOutDevName(int deviceId)
{
    return AudioControl::OutputDeviceName(WaveBackend::Current(), deviceId);
}

std::string OrvSIPUserAgentOCX::GetAudioInDevName(int deviceId)
{
    return AudioControl::InputDeviceName(WaveBackend::Current(), deviceId);
}

// ---- The control's own methods ----------------------------------------------------------

std::string OrvSIPUserAgentOCX::GetVersionFile()
{
    static const std::string version = "91, 0, 4, 8";
    return version;
}

std::string OrvSIPUserAgentOCX::GetVersionSDK()
{
    static const std::string version = "3, 0, 0, 0";
    return version;
}
