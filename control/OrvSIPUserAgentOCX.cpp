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

    // A wave or recording operation on a line: the line checks (10, 29, 31) first,
    // then a media failure's code, translated, becomes the last error.
    template <typename Operation>
    bool LineMedia(int lineNo, Operation operation)
    {
        if (!Engine().CheckLine(lineNo))
            return false;
        MediaEngine& media = Engine().Media();
        if (operation(media))
            return true;
        Engine().SetLastError(SipUserAgent::TranslateMediaError(media.LastError()));
        return false;
    }

    // A question about a line's wave player or recorder; `failed` when a line
    // check fails.
    template <typename Result, typename Question>
    Result LineMediaAnswer(int lineNo, Result failed, Question question)
    {
        return Engine().CheckLine(lineNo) ? question(Engine().Media()) : failed;
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
void OrvSIPUserAgentOCX::SetAcceptTransfer(bool enable) { impl_->Engine().SetAcceptTransfer(enable); }
std::string OrvSIPUserAgentOCX::GetRemoteParty(int lineNo) { return impl_->Engine().GetRemoteParty(lineNo); }
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

// ---- Wave playback and call recording ---------------------------------------------------

bool OrvSIPUserAgentOCX::IsRecording(int lineNo)
{
    return impl_->LineMediaAnswer(lineNo, false, [&](MediaEngine& media) { return media.IsRecording(lineNo); });
}

bool OrvSIPUserAgentOCX::StopRecording(int lineNo)
{
    return impl_->LineMedia(lineNo, [&](MediaEngine& media) { return media.StopRecording(lineNo); });
}

bool OrvSIPUserAgentOCX::ResetRecording(int lineNo)
{
    return impl_->LineMedia(lineNo, [&](MediaEngine& media) { return media.ResetRecording(lineNo); });
}

bool OrvSIPUserAgentOCX::SaveRecordingToWaveFile(int lineNo, const std::string& fileName)
{
    return impl_->LineMedia(lineNo, [&](MediaEngine& media) { return media.SaveRecordingToWaveFile(lineNo, fileName); });
}

bool OrvSIPUserAgentOCX::IsWaveFilePlaying(int lineNo)
{
    return impl_->LineMediaAnswer(lineNo, false, [&](MediaEngine& media) { return media.IsWaveFilePlaying(lineNo); });
}

bool OrvSIPUserAgentOCX::PlayWaveOpen(int lineNo, const std::string& fileName)
{
    return impl_->LineMedia(lineNo, [&](MediaEngine& media) { return media.PlayWaveOpen(lineNo, fileName); });
}

bool OrvSIPUserAgentOCX::PlayWaveSkipTo(int lineNo, int seconds)
{
    return impl_->LineMedia(lineNo, [&](MediaEngine& media) { return media.PlayWaveSkipTo(lineNo, seconds); });
}

int OrvSIPUserAgentOCX::PlayWaveTotalTime(int lineNo)
{
    return impl_->LineMediaAnswer(lineNo, -1, [&](MediaEngine& media) { return media.PlayWaveTotalTime(lineNo); });
}

bool OrvSIPUserAgentOCX::PlayWavePause(int lineNo)
{
    return impl_->LineMedia(lineNo, [&](MediaEngine& media) { return media.PlayWavePause(lineNo); });
}

// A wave file plays into a call, so the line needs one (34).
bool OrvSIPUserAgentOCX::PlayWaveStart(int lineNo, bool listen)
{
    if (impl_->Engine().CheckLine(lineNo) && !impl_->Engine().IsLineBusy(lineNo)) {
        impl_->Engine().SetLastError(34);
        return false;
    }
    return impl_->LineMedia(lineNo, [&](MediaEngine& media) { return media.PlayWaveStart(lineNo, listen); });
}

bool OrvSIPUserAgentOCX::PlayWaveStop(int lineNo)
{
    return impl_->LineMedia(lineNo, [&](MediaEngine& media) { return media.PlayWaveStop(lineNo); });
}

int OrvSIPUserAgentOCX::PlayWavePosition(int lineNo)
{
    return impl_->LineMediaAnswer(lineNo, -1, [&](MediaEngine& media) { return media.PlayWavePosition(lineNo); });
}

bool OrvSIPUserAgentOCX::StartRecording(int lineNo, int recordVoice, bool recordCompress)
{
    return impl_->LineMedia(lineNo,
                            [&](MediaEngine& media) { return media.StartRecording(lineNo, recordVoice, recordCompress); });
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
