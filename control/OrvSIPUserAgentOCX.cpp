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

#include <initializer_list>
#include <utility>

namespace {

// The error of every method called on a thread other than the control's own.
constexpr int ForeignThreadError = 40;

} // namespace

struct OrvSIPUserAgentOCX::Impl {
    Impl() : loop(MessageLoop::ForCurrentThread()), sink(connections, *loop) {}

    SipUserAgent& Engine() { return sink.Engine(); }
    AudioControl Sound() { return Engine().Media().Sound(); }

    // The control belongs to the thread that made it: its loop is that thread's.
    // Once the thread has ended no thread has it, and only deleting the control is left.
    bool OnOwnThread() const { return loop->IsCurrentThreadLoop(); }

    // A method's work, run on the control's own thread; on any other the method
    // fails (`refused`) without touching the control.
    template <typename Result, typename Work>
    Result Owned(Result refused, Work work)
    {
        return OnOwnThread() ? work() : refused;
    }

    template <typename Work>
    void Owned(Work work)
    {
        if (OnOwnThread())
            work();
    }

    // An engine method, run as Owned runs its work.
    template <typename Result, typename... P, typename... A>
    Result Call(Result refused, Result (SipUserAgent::*method)(P...), A&&... arguments)
    {
        return Owned(refused, [&] { return (Engine().*method)(std::forward<A>(arguments)...); });
    }

    template <typename... P, typename... A>
    void Call(void (SipUserAgent::*method)(P...), A&&... arguments)
    {
        Owned([&] { (Engine().*method)(std::forward<A>(arguments)...); });
    }

    // A text holding a NUL would reach the engine cut short at it: the method fails
    // with `error` instead.
    bool TextsWhole(int error, std::initializer_list<const std::string*> texts)
    {
        for (const std::string* text : texts) {
            if (text->find('\0') != std::string::npos) {
                Engine().SetLastError(error);
                return false;
            }
        }
        return true;
    }

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

    // A sound method marked (Init): fails with 10 before Initialize, otherwise a media
    // failure's code, translated, becomes the last error.
    template <typename Operation>
    bool InitializedSound(Operation operation)
    {
        return Owned(false, [&] { return RequireInitialized() && MediaResult(operation(Sound())); });
    }

    // A sound getter marked (Init): -1 before Initialize and on a media failure.
    template <typename Operation>
    int InitializedSoundValue(Operation operation)
    {
        return Owned(-1, [&] {
            int value = -1;
            if (RequireInitialized())
                MediaResult(operation(Sound(), value));
            return value;
        });
    }

    // A wave or recording operation on a line: the line checks (10, 29, 31) first,
    // then a media failure's code, translated, becomes the last error.
    template <typename Operation>
    bool LineMedia(int lineNo, Operation operation)
    {
        return Owned(false, [&] {
            if (!Engine().CheckLine(lineNo))
                return false;
            MediaEngine& media = Engine().Media();
            if (operation(media))
                return true;
            Engine().SetLastError(SipUserAgent::TranslateMediaError(media.LastError()));
            return false;
        });
    }

    // A question about a line's wave player or recorder; `failed` when a line
    // check fails.
    template <typename Result, typename Question>
    Result LineMediaAnswer(int lineNo, Result failed, Question question)
    {
        return Owned(failed, [&] { return Engine().CheckLine(lineNo) ? question(Engine().Media()) : failed; });
    }

    // Shared with the thread, so that a control outliving its thread can still go.
    std::shared_ptr<MessageLoop> loop;
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
    return ClassMethods();
}

const std::vector<OrvMemberInfo>& OrvSIPUserAgentOCX::Events() const
{
    return ClassEvents();
}

const std::vector<OrvMemberInfo>& OrvSIPUserAgentOCX::ClassMethods()
{
    return MethodTable::Instance().Methods();
}

const std::vector<OrvMemberInfo>& OrvSIPUserAgentOCX::ClassEvents()
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
    return impl_->Owned(0, [&] { return impl_->connections.Advise(sink); });
}

bool OrvSIPUserAgentOCX::Unadvise(int cookie)
{
    return impl_->Owned(false, [&] { return impl_->connections.Unadvise(cookie); });
}

// ---- Message loop -----------------------------------------------------------------------

int OrvSIPUserAgentOCX::EventDescriptor() const
{
    return impl_->loop->Descriptor();
}

int OrvSIPUserAgentOCX::DispatchEvents()
{
    return impl_->Owned(0, [&] { return impl_->loop->Dispatch(); });
}

void OrvSIPUserAgentOCX::RunFor(int milliseconds)
{
    impl_->Owned([&] { impl_->loop->RunFor(milliseconds); });
}

bool OrvSIPUserAgentOCX::RunUntil(const std::function<bool()>& done, int timeoutMs)
{
    return impl_->Owned(false, [&] { return impl_->loop->RunUntil(done ? done : [] { return false; }, timeoutMs); });
}

// ---- The engine's methods ---------------------------------------------------------------

bool OrvSIPUserAgentOCX::Initialize(bool bindToListenIp, const std::string& listenIp, int listenPort,
                                    const std::string& fromUri, const std::string& sipOutBoundProxy,
                                    const std::string& sipProxy, const std::string& loginId,
                                    const std::string& loginPwd, bool useSoundDevice, int totalLine)
{
    return impl_->Owned(false, [&] {
        return impl_->TextsWhole(11, {&listenIp, &sipOutBoundProxy}) &&
               impl_->TextsWhole(26, {&fromUri, &sipProxy, &loginId, &loginPwd}) &&
               impl_->Engine().Initialize(bindToListenIp, listenIp, listenPort, fromUri, sipOutBoundProxy, sipProxy,
                                          loginId, loginPwd, useSoundDevice, totalLine);
    });
}

int OrvSIPUserAgentOCX::GetOrvObjectError()
{
    return impl_->Owned(ForeignThreadError, [&] { return impl_->Engine().GetLastError(); });
}

std::string OrvSIPUserAgentOCX::GetMyIP()
{
    return impl_->Owned(std::string(), [&] { return impl_->Engine().GetMyIP(); });
}

void OrvSIPUserAgentOCX::UnInitialize() { impl_->Call(&SipUserAgent::UnInitialize); }
bool OrvSIPUserAgentOCX::CloseLine(int lineNo) { return impl_->Call(false, &SipUserAgent::CloseLine, lineNo); }
bool OrvSIPUserAgentOCX::Disconnect(int lineNo) { return impl_->Call(false, &SipUserAgent::Disconnect, lineNo); }
bool OrvSIPUserAgentOCX::HoldLine(int lineNo) { return impl_->Call(false, &SipUserAgent::HoldLine, lineNo); }
bool OrvSIPUserAgentOCX::UnHoldLine(int lineNo) { return impl_->Call(false, &SipUserAgent::UnHoldLine, lineNo); }
bool OrvSIPUserAgentOCX::RegisterToProxy(int expire) { return impl_->Call(false, &SipUserAgent::RegisterToProxy, expire); }
bool OrvSIPUserAgentOCX::UnRegisterToProxy() { return impl_->Call(false, &SipUserAgent::UnRegisterToProxy); }
bool OrvSIPUserAgentOCX::IsLineOpen(int lineNo) { return impl_->Call(false, &SipUserAgent::IsLineOpen, lineNo); }
bool OrvSIPUserAgentOCX::IsLineHold(int lineNo) { return impl_->Call(false, &SipUserAgent::IsLineHold, lineNo); }
bool OrvSIPUserAgentOCX::IsLineBusy(int lineNo) { return impl_->Call(false, &SipUserAgent::IsLineBusy, lineNo); }
void OrvSIPUserAgentOCX::DisableKeepAlive() { impl_->Call(&SipUserAgent::DisableKeepAlive); }
void OrvSIPUserAgentOCX::DeselectAllVoiceCodec() { impl_->Call(&SipUserAgent::DeselectAllVoiceCodec); }
void OrvSIPUserAgentOCX::SelectAllVoiceCodec() { impl_->Call(&SipUserAgent::SelectAllVoiceCodec); }
void OrvSIPUserAgentOCX::EnableDonotDisturb() { impl_->Call(&SipUserAgent::EnableDonotDisturb); }
void OrvSIPUserAgentOCX::DisableDonotDisturb() { impl_->Call(&SipUserAgent::DisableDonotDisturb); }
bool OrvSIPUserAgentOCX::SetTOS(int lineNo, int value) { return impl_->Call(false, &SipUserAgent::SetTOS, lineNo, value); }
int OrvSIPUserAgentOCX::GetTOS(int lineNo) { return impl_->Call(-1, &SipUserAgent::GetTOS, lineNo); }
int OrvSIPUserAgentOCX::GetDTMFVolume() { return impl_->Call(-1, &SipUserAgent::GetDTMFVolume); }
int OrvSIPUserAgentOCX::GetOutboundCodec(int lineNo) { return impl_->Call(-1, &SipUserAgent::GetOutboundCodec, lineNo); }
int OrvSIPUserAgentOCX::GetInboundCodec(int lineNo) { return impl_->Call(-1, &SipUserAgent::GetInboundCodec, lineNo); }

bool OrvSIPUserAgentOCX::JoinTwoLine(int lineNoA, int lineNoB)
{
    return impl_->Call(false, &SipUserAgent::JoinTwoLine, lineNoA, lineNoB);
}

bool OrvSIPUserAgentOCX::EnableKeepAlive(int seconds)
{
    return impl_->Call(false, &SipUserAgent::EnableKeepAlive, seconds);
}

bool OrvSIPUserAgentOCX::SelectVoiceCodec(int codecNo)
{
    return impl_->Call(false, &SipUserAgent::SelectVoiceCodec, codecNo);
}

bool OrvSIPUserAgentOCX::DeselectVoiceCodec(int codecNo)
{
    return impl_->Call(false, &SipUserAgent::DeselectVoiceCodec, codecNo);
}

bool OrvSIPUserAgentOCX::EnableForceInbandDTMF(int lineNo)
{
    return impl_->Call(false, &SipUserAgent::EnableForceInbandDTMF, lineNo);
}

bool OrvSIPUserAgentOCX::DisableForceInbandDTMF(int lineNo)
{
    return impl_->Call(false, &SipUserAgent::DisableForceInbandDTMF, lineNo);
}

bool OrvSIPUserAgentOCX::SetDTMFVolume(int volume)
{
    return impl_->Call(false, &SipUserAgent::SetDTMFVolume, volume);
}

bool OrvSIPUserAgentOCX::DigitDTMF(int lineNo, const std::string& digit)
{
    return impl_->Owned(false, [&] {
        return impl_->TextsWhole(25, {&digit}) && impl_->Engine().DigitDTMF(lineNo, digit);
    });
}

void OrvSIPUserAgentOCX::SetAcceptTransfer(bool enable) { impl_->Call(&SipUserAgent::SetAcceptTransfer, enable); }

std::string OrvSIPUserAgentOCX::GetRemoteParty(int lineNo)
{
    return impl_->Call(std::string(), &SipUserAgent::GetRemoteParty, lineNo);
}

bool OrvSIPUserAgentOCX::SetStunServer(const std::string& server)
{
    return impl_->Owned(false, [&] { return impl_->TextsWhole(11, {&server}) && impl_->Engine().SetStunServer(server); });
}

bool OrvSIPUserAgentOCX::SetMediaEncryption(int mode)
{
    return impl_->Call(false, &SipUserAgent::SetMediaEncryption, mode);
}

std::string OrvSIPUserAgentOCX::GetMediaEncryption(int lineNo)
{
    return impl_->Call(std::string(), &SipUserAgent::GetMediaEncryption, lineNo);
}

bool OrvSIPUserAgentOCX::Connect(int lineNo, const std::string& toUri, int inputDeviceId, int outputDeviceId)
{
    return impl_->Owned(false, [&] {
        return impl_->TextsWhole(25, {&toUri}) &&
               impl_->Engine().Connect(lineNo, toUri, inputDeviceId, outputDeviceId);
    });
}

bool OrvSIPUserAgentOCX::AcceptCall(int lineNo, const std::string& callId, int inputDeviceId, int outputDeviceId)
{
    return impl_->Owned(false, [&] {
        return impl_->TextsWhole(32, {&callId}) &&
               impl_->Engine().AcceptCall(lineNo, callId, inputDeviceId, outputDeviceId);
    });
}

bool OrvSIPUserAgentOCX::RejectCall(const std::string& callId)
{
    return impl_->Owned(false, [&] {
        return impl_->TextsWhole(32, {&callId}) && impl_->Engine().RejectCall(callId);
    });
}

bool OrvSIPUserAgentOCX::TransferCall(int lineNo, const std::string& toUri)
{
    return impl_->Owned(false, [&] {
        return impl_->TextsWhole(25, {&toUri}) && impl_->Engine().TransferCall(lineNo, toUri);
    });
}

bool OrvSIPUserAgentOCX::OpenLine(int lineNo, bool bindToRtpRxIp, const std::string& rtpRxIp, int rtpRxPort)
{
    return impl_->Owned(false, [&] {
        return impl_->TextsWhole(11, {&rtpRxIp}) && impl_->Engine().OpenLine(lineNo, bindToRtpRxIp, rtpRxIp, rtpRxPort);
    });
}

// ---- The media engine's methods ---------------------------------------------------------

bool OrvSIPUserAgentOCX::MuteMic(bool mute)
{
    return impl_->InitializedSound([&](AudioControl sound) { return sound.MuteMicrophone(mute); });
}

bool OrvSIPUserAgentOCX::MuteSpk(bool mute)
{
    return impl_->InitializedSound([&](AudioControl sound) { return sound.MuteSpeaker(mute); });
}

int OrvSIPUserAgentOCX::GetMicVolume()
{
    return impl_->InitializedSoundValue([](AudioControl sound, int& volume) { return sound.GetMicrophoneVolume(volume); });
}

bool OrvSIPUserAgentOCX::SetMicVolume(int volume)
{
    return impl_->InitializedSound([&](AudioControl sound) { return sound.SetMicrophoneVolume(volume); });
}

int OrvSIPUserAgentOCX::GetSpkVolume()
{
    return impl_->InitializedSoundValue([](AudioControl sound, int& volume) { return sound.GetSpeakerVolume(volume); });
}

bool OrvSIPUserAgentOCX::SetSpkVolume(int volume)
{
    return impl_->InitializedSound([&](AudioControl sound) { return sound.SetSpeakerVolume(volume); });
}

bool OrvSIPUserAgentOCX::EnableMicBoost()
{
    return impl_->InitializedSound([](AudioControl sound) { return sound.EnableMicrophoneBoost(); });
}

bool OrvSIPUserAgentOCX::DisableMicBoost()
{
    return impl_->InitializedSound([](AudioControl sound) { return sound.DisableMicrophoneBoost(); });
}

bool OrvSIPUserAgentOCX::IsMicBoostEnable()
{
    return impl_->Owned(false, [&] {
        bool enabled = false;
        return impl_->MediaResult(impl_->Sound().IsMicrophoneBoostEnabled(enabled)) && enabled;
    });
}

bool OrvSIPUserAgentOCX::EnableAGC(int level)
{
    return impl_->InitializedSound([&](AudioControl sound) { return sound.EnableAgc(static_cast<float>(level)); });
}

bool OrvSIPUserAgentOCX::DisableAGC()
{
    return impl_->InitializedSound([](AudioControl sound) { return sound.DisableAgc(); });
}

bool OrvSIPUserAgentOCX::EnableEchoNoiseCancellation()
{
    return impl_->InitializedSound([](AudioControl sound) { return sound.EnableEchoNoiseCancellation(); });
}

bool OrvSIPUserAgentOCX::DisableEchoNoiseCancellation()
{
    return impl_->InitializedSound([](AudioControl sound) { return sound.DisableEchoNoiseCancellation(); });
}

int OrvSIPUserAgentOCX::GetMicSoundLevel()
{
    return impl_->Owned(-1, [&] { return impl_->Sound().MicrophoneLevel(); });
}

int OrvSIPUserAgentOCX::GetSpkSoundLevel()
{
    return impl_->Owned(-1, [&] { return impl_->Sound().SpeakerLevel(); });
}

int OrvSIPUserAgentOCX::GetAudioInDevTotal()
{
    return impl_->Owned(-1, [] { return AudioControl::InputDeviceTotal(WaveBackend::Current()); });
}

int OrvSIPUserAgentOCX::GetAudioOutDevTotal()
{
    return impl_->Owned(-1, [] { return AudioControl::OutputDeviceTotal(WaveBackend::Current()); });
}

std::string OrvSIPUserAgentOCX::GetAudioOutDevName(int deviceId)
{
    return impl_->Owned(std::string(), [&] { return AudioControl::OutputDeviceName(WaveBackend::Current(), deviceId); });
}

std::string OrvSIPUserAgentOCX::GetAudioInDevName(int deviceId)
{
    return impl_->Owned(std::string(), [&] { return AudioControl::InputDeviceName(WaveBackend::Current(), deviceId); });
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
    return impl_->Owned(false, [&] {
        return impl_->TextsWhole(21, {&fileName}) &&
               impl_->LineMedia(lineNo, [&](MediaEngine& media) { return media.SaveRecordingToWaveFile(lineNo, fileName); });
    });
}

bool OrvSIPUserAgentOCX::IsWaveFilePlaying(int lineNo)
{
    return impl_->LineMediaAnswer(lineNo, false, [&](MediaEngine& media) { return media.IsWaveFilePlaying(lineNo); });
}

bool OrvSIPUserAgentOCX::PlayWaveOpen(int lineNo, const std::string& fileName)
{
    return impl_->Owned(false, [&] {
        return impl_->TextsWhole(21, {&fileName}) &&
               impl_->LineMedia(lineNo, [&](MediaEngine& media) { return media.PlayWaveOpen(lineNo, fileName); });
    });
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
    return impl_->Owned(false, [&] {
        if (impl_->Engine().CheckLine(lineNo) && !impl_->Engine().IsLineBusy(lineNo)) {
            impl_->Engine().SetLastError(34);
            return false;
        }
        return impl_->LineMedia(lineNo, [&](MediaEngine& media) { return media.PlayWaveStart(lineNo, listen); });
    });
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

bool OrvSIPUserAgentOCX::SetRecordingChannels(int lineNo, int channels)
{
    return impl_->LineMedia(lineNo, [&](MediaEngine& media) { return media.SetRecordingChannels(lineNo, channels); });
}

std::string OrvSIPUserAgentOCX::GetCallStatistics(int lineNo)
{
    return impl_->LineMediaAnswer(lineNo, std::string(),
                                  [&](MediaEngine& media) { return media.GetCallStatistics(lineNo); });
}

// ---- The control's own methods ----------------------------------------------------------

std::string OrvSIPUserAgentOCX::GetVersionFile()
{
    return impl_->Owned(std::string(), [] { return std::string("91, 0, 4, 8"); });
}

std::string OrvSIPUserAgentOCX::GetVersionSDK()
{
    return impl_->Owned(std::string(), [] { return std::string("3, 0, 0, 0"); });
}
