#include "control/MethodTable.h"

#include "control/OrvSIPUserAgentOCX.h"
#include "control/ParameterKinds.h"

#include <algorithm>
#include <type_traits>
#include <utility>

namespace {

template <typename R, typename... P, std::size_t... Index>
OrvValue CallMember(OrvSIPUserAgentOCX& control, R (OrvSIPUserAgentOCX::*method)(P...),
                    const std::vector<OrvValue>& arguments, std::index_sequence<Index...>)
{
    if constexpr (std::is_void_v<R>) {
        (control.*method)(std::get<std::remove_cvref_t<P>>(arguments[Index])...);
        return {};
    } else {
        return OrvValue((control.*method)(std::get<std::remove_cvref_t<P>>(arguments[Index])...));
    }
}

} // namespace

template <typename R, typename... P>
void MethodTable::Add(int dispId, const char* name, R (OrvSIPUserAgentOCX::*method)(P...),
                      const std::array<const char*, sizeof...(P)>& parameterNames, const char* help)
{
    static_assert(ParameterKinds::Of<R>() != OrvType::None || std::is_void_v<R>,
                  "results are BOOL, I4, BSTR or none");
    methods_.push_back({dispId, name, ParameterKinds::Parameters<P...>(parameterNames), ParameterKinds::Of<R>(), help});
    calls_.push_back([method](OrvSIPUserAgentOCX& control, const Arguments& arguments) {
        return CallMember(control, method, arguments, std::index_sequence_for<P...>{});
    });
}

// To add a method: declare and define it in OrvSIPUserAgentOCX, then add its line
// here under its dispatch identifier; the parameter kinds come from its signature.
MethodTable::MethodTable()
{
    using C = OrvSIPUserAgentOCX;
    Add(1, "UnInitialize", &C::UnInitialize, {}, "stop everything: hang up, un-register, close sockets, stop media");
    Add(3, "GetOrvObjectError", &C::GetOrvObjectError, {},
        "the last error code (0 after Initialize starts; unchanged by successful calls)");
    Add(4, "CloseLine", &C::CloseLine, {"LineNo"}, "end the line's call and close its RTP socket");
    Add(5, "Connect", &C::Connect, {"LineNo", "ToURI", "InputDeviceId", "OutputDeviceId"},
        "start an outgoing call on an open line");
    Add(6, "Disconnect", &C::Disconnect, {"LineNo"}, "hang up the line's call: CANCEL, BYE or reset");
    Add(7, "AcceptCall", &C::AcceptCall, {"LineNo", "CallId", "InputDeviceId", "OutputDeviceId"},
        "answer a ringing incoming call onto an open line");
    Add(8, "RejectCall", &C::RejectCall, {"CallId"}, "answer a ringing incoming call 486 Busy Here");
    Add(9, "TransferCall", &C::TransferCall, {"LineNo", "ToURI"}, "transfer the line's peer to ToURI (REFER)");
    Add(10, "HoldLine", &C::HoldLine, {"LineNo"}, "put the line's call on hold (re-INVITE)");
    Add(11, "UnHoldLine", &C::UnHoldLine, {"LineNo"}, "take the line's call off hold (re-INVITE)");
    Add(12, "RegisterToProxy", &C::RegisterToProxy, {"Expire"}, "register with the proxy for Expire seconds");
    Add(13, "UnRegisterToProxy", &C::UnRegisterToProxy, {}, "un-register, waiting up to 4 s for the answer");
    Add(14, "IsLineOpen", &C::IsLineOpen, {"LineNo"}, "whether the line's RTP socket is open");
    Add(15, "IsLineHold", &C::IsLineHold, {"LineNo"}, "whether the line's media is on hold");
    Add(16, "IsLineBusy", &C::IsLineBusy, {"LineNo"}, "whether the line has a call");
    Add(17, "EnableKeepAlive", &C::EnableKeepAlive, {"Seconds"}, "send CRLF to the registrar every Seconds");
    Add(18, "DisableKeepAlive", &C::DisableKeepAlive, {}, "stop the keep-alive");
    Add(19, "DeselectAllVoiceCodec", &C::DeselectAllVoiceCodec, {}, "empty the codec selection");
    Add(20, "SelectAllVoiceCodec", &C::SelectAllVoiceCodec, {}, "select every codec in the default order");
    Add(21, "SelectVoiceCodec", &C::SelectVoiceCodec, {"CodecNo"},
        "append a codec: 0 GSM, 1 iLBC, 2 PCMA, 3 PCMU, 4 G.729A");
    Add(22, "DeselectVoiceCodec", &C::DeselectVoiceCodec, {"CodecNo"}, "remove a codec from the selection");
    Add(23, "GetMyIP", &C::GetMyIP, {}, "the preferred local IPv4 address");
    Add(24, "DigitDTMF", &C::DigitDTMF, {"LineNo", "Digit"}, "play a key tone and send the digit to the peer");
    Add(25, "MuteMic", &C::MuteMic, {"Mute"}, "mute or unmute the microphone");
    Add(26, "MuteSpk", &C::MuteSpk, {"Mute"}, "mute or unmute the speaker");
    Add(27, "GetMicVolume", &C::GetMicVolume, {}, "microphone volume 0..255, -1 on error");
    Add(28, "SetMicVolume", &C::SetMicVolume, {"Volume"}, "set the microphone volume 0..255");
    Add(29, "GetSpkVolume", &C::GetSpkVolume, {}, "speaker volume 0..255, -1 on error");
    Add(30, "SetSpkVolume", &C::SetSpkVolume, {"Volume"}, "set the speaker volume 0..255");
    Add(31, "EnableMicBoost", &C::EnableMicBoost, {}, "switch the microphone boost on");
    Add(32, "DisableMicBoost", &C::DisableMicBoost, {}, "switch the microphone boost off");
    Add(33, "IsMicBoostEnable", &C::IsMicBoostEnable, {}, "whether the microphone boost is on");
    Add(34, "EnableAGC", &C::EnableAGC, {"Level"}, "automatic gain control of the microphone at Level");
    Add(35, "DisableAGC", &C::DisableAGC, {}, "stop the automatic gain control");
    Add(36, "EnableEchoNoiseCancellation", &C::EnableEchoNoiseCancellation, {}, "cancel echo and noise");
    Add(37, "DisableEchoNoiseCancellation", &C::DisableEchoNoiseCancellation, {}, "stop cancelling echo and noise");
    Add(38, "IsRecording", &C::IsRecording, {"LineNo"}, "whether the line's call is being recorded");
    Add(39, "StopRecording", &C::StopRecording, {"LineNo"}, "stop recording the line's call (the recording stays)");
    Add(40, "ResetRecording", &C::ResetRecording, {"LineNo"}, "empty the line's recording");
    Add(41, "SaveRecordingToWaveFile", &C::SaveRecordingToWaveFile, {"LineNo", "FileName"},
        "save the line's recording as a WAV file; recording goes on");
    Add(42, "IsWaveFilePlaying", &C::IsWaveFilePlaying, {"LineNo"}, "whether a wave file plays into the line");
    Add(43, "PlayWaveOpen", &C::PlayWaveOpen, {"LineNo", "FileName"}, "open a WAV file to play into the line");
    Add(44, "PlayWaveSkipTo", &C::PlayWaveSkipTo, {"LineNo", "Seconds"}, "move the wave file to Seconds");
    Add(45, "PlayWaveTotalTime", &C::PlayWaveTotalTime, {"LineNo"}, "whole seconds of the wave file, -1 on error");
    Add(46, "PlayWavePause", &C::PlayWavePause, {"LineNo"}, "pause the wave file, keeping its position");
    Add(47, "PlayWaveStart", &C::PlayWaveStart, {"LineNo", "Listen"},
        "play the wave file into the line's call, and into the speaker when Listen");
    Add(48, "PlayWaveStop", &C::PlayWaveStop, {"LineNo"}, "stop the wave file and rewind it");
    Add(49, "PlayWavePosition", &C::PlayWavePosition, {"LineNo"}, "seconds played of the wave file, -1 on error");
    Add(50, "EnableDonotDisturb", &C::EnableDonotDisturb, {}, "answer new incoming calls 486 Busy Here");
    Add(51, "DisableDonotDisturb", &C::DisableDonotDisturb, {}, "let incoming calls ring again");
    Add(52, "SetTOS", &C::SetTOS, {"LineNo", "Value"}, "type-of-service byte of the line's RTP (not set here)");
    Add(53, "GetTOS", &C::GetTOS, {"LineNo"}, "type-of-service byte of the line's RTP, -1 before Initialize");
    Add(54, "EnableForceInbandDTMF", &C::EnableForceInbandDTMF, {"LineNo"}, "send the line's digits as tones");
    Add(55, "DisableForceInbandDTMF", &C::DisableForceInbandDTMF, {"LineNo"}, "send the line's digits as events");
    Add(56, "GetDTMFVolume", &C::GetDTMFVolume, {}, "key tone volume, -1 before Initialize");
    Add(57, "SetDTMFVolume", &C::SetDTMFVolume, {"Volume"}, "set the key tone volume 0..25");
    Add(58, "GetMicSoundLevel", &C::GetMicSoundLevel, {}, "microphone level 0..100");
    Add(59, "GetSpkSoundLevel", &C::GetSpkSoundLevel, {}, "speaker level 0..100");
    Add(60, "GetAudioInDevTotal", &C::GetAudioInDevTotal, {}, "number of capture devices");
    Add(61, "GetAudioOutDevTotal", &C::GetAudioOutDevTotal, {}, "number of playback devices");
    Add(62, "GetAudioOutDevName", &C::GetAudioOutDevName, {"DeviceId"}, "name of a playback device");
    Add(63, "GetAudioInDevName", &C::GetAudioInDevName, {"DeviceId"}, "name of a capture device");
    Add(64, "Initialize", &C::Initialize,
        {"BindToListenIP", "ListenIP", "ListenPort", "FromURI", "SIPOutBoundProxy", "SIPProxy", "LoginId", "LoginPwd",
         "UseSoundDevice", "TotalLine"},
        "start the user agent with TotalLine lines; SIPProxy and SIPOutBoundProxy take host[:port] or a URI, "
        "over TCP or TLS with ;transport=tcp or ;transport=tls (or sips:), a domain without a port found by DNS SRV");
    Add(65, "OpenLine", &C::OpenLine, {"LineNo", "BindToRTPRxIP", "RTPRxIP", "RTPRxPort"},
        "open the line's RTP socket");
    Add(66, "StartRecording", &C::StartRecording, {"LineNo", "RecordVoice", "RecordCompress"},
        "record the line's call: voice 0 own, 1 remote, 2 both; compressed as GSM when RecordCompress");
    Add(67, "GetOutboundCodec", &C::GetOutboundCodec, {"LineNo"}, "codec sent on the line's call, -1 on error");
    Add(68, "GetInboundCodec", &C::GetInboundCodec, {"LineNo"}, "codec received on the line's call, -1 on error");
    Add(69, "GetVersionFile", &C::GetVersionFile, {}, "file version of the control");
    Add(70, "GetVersionSDK", &C::GetVersionSDK, {}, "SDK version of the control");
    Add(71, "JoinTwoLine", &C::JoinTwoLine, {"LineNoA", "LineNoB"},
        "attended transfer: ask line B's peer to call line A's peer, replacing line A's call");
    Add(72, "SetAcceptTransfer", &C::SetAcceptTransfer, {"Enable"},
        "let peers transfer calls (their REFER, an INVITE with Replaces); off by default");
    Add(73, "SetMediaEncryption", &C::SetMediaEncryption, {"Mode"},
        "SRTP for new calls: 0 off, 1 offered, 2 required (keys only over TLS)");
    Add(74, "GetMediaEncryption", &C::GetMediaEncryption, {"LineNo"},
        "the SRTP suite of the line's call, \"\" for plain RTP");
    Add(75, "SetStunServer", &C::SetStunServer, {"Host"},
        "the STUN server (host[:port]) telling the lines' public RTP address behind a NAT; \"\" for none");
    Add(76, "GetCallStatistics", &C::GetCallStatistics, {"LineNo"},
        "figures of the line's call, or of its last one: key=value;... (loss, jitter, round trip, MOS estimate)");
    Add(77, "SetRecordingChannels", &C::SetRecordingChannels, {"LineNo", "Channels"},
        "1 records the call mixed in mono (default), 2 in stereo: this side left, the peer right");
    Add(78, "GetRemoteParty", &C::GetRemoteParty, {"LineNo"}, "the name-addr of the line's current peer");
}

const MethodTable& MethodTable::Instance()
{
    static const MethodTable table;
    return table;
}

std::size_t MethodTable::IndexOf(int dispId) const
{
    auto found = std::find_if(methods_.begin(), methods_.end(),
                              [dispId](const OrvMemberInfo& method) { return method.dispId == dispId; });
    return static_cast<std::size_t>(found - methods_.begin());
}

int MethodTable::IdOfName(const std::string& name) const
{
    auto found = std::find_if(methods_.begin(), methods_.end(),
                              [&name](const OrvMemberInfo& method) { return method.name == name; });
    return found != methods_.end() ? found->dispId : -1;
}

OrvResult MethodTable::Invoke(OrvSIPUserAgentOCX& control, int dispId, const Arguments& arguments,
                              OrvValue& result) const
{
    std::size_t index = IndexOf(dispId);
    if (index >= methods_.size())
        return OrvMemberNotFound;
    const std::vector<OrvParameter>& parameters = methods_[index].parameters;
    if (arguments.size() != parameters.size())
        return OrvBadParameterCount;
    for (std::size_t at = 0; at < parameters.size(); ++at) {
        if (arguments[at].index() != static_cast<std::size_t>(parameters[at].type))
            return OrvTypeMismatch;
    }
    result = calls_[index](control, arguments);
    return OrvOk;
}
