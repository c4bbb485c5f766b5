#include "control/EventTable.h"

#include "control/OrvSIPUserAgentOCXEvents.h"

namespace {

OrvMemberInfo Event(OrvEventId id, const char* name, std::vector<OrvParameter> parameters, const char* help)
{
    return {static_cast<int>(id), name, std::move(parameters), OrvType::None, help};
}

std::vector<OrvMemberInfo> BuildEvents()
{
    using E = OrvEventId;
    const OrvType I = OrvType::Int;
    const OrvType S = OrvType::String;
    const OrvType B = OrvType::Bool;
    const std::vector<OrvParameter> line = {{"LineNo", I}};
    const std::vector<OrvParameter> response = {{"LineNo", I}, {"StatusCode", I}, {"ReasonPhrase", S}};
    return {
        Event(E::OnIncomingDiagnostic, "OnIncomingDiagnostic", {{"MsgSIP", S}, {"FromIP", S}, {"FromPort", I}},
              "every datagram received on the SIP socket"),
        Event(E::OnOutgoingDiagnostic, "OnOutgoingDiagnostic", {{"MsgSIP", S}, {"ToIP", S}, {"ToPort", I}},
              "every SIP message sent, with its final destination"),
        Event(E::OnDTMFDigit, "OnDTMFDigit", {{"LineNo", I}, {"Digit", S}}, "a telephone-event digit was received"),
        Event(E::OnPlayWaveDone, "OnPlayWaveDone", line, "wave playback of the line finished"),
        Event(E::OnMsgNOTIFY, "OnMsgNOTIFY", {{"Msg", S}}, "a NOTIFY was received, with its full text"),
        Event(E::OnTryingToUnRegister, "OnTryingToUnRegister", {}, "100 to the un-REGISTER"),
        Event(E::OnFailToUnRegister, "OnFailToUnRegister", {}, "no 2xx to the un-REGISTER within 4 s"),
        Event(E::OnSuccessToUnRegister, "OnSuccessToUnRegister", {}, "2xx to the un-REGISTER"),
        Event(E::OnTryingToRegister, "OnTryingToRegister", {}, "first 100 to a first REGISTER"),
        Event(E::OnFailToRegister, "OnFailToRegister", {}, "the first REGISTER failed or timed out"),
        Event(E::OnSuccessToRegister, "OnSuccessToRegister", {}, "2xx to a first REGISTER"),
        Event(E::OnFailToConnect, "OnFailToConnect", line, "the INVITE timed out or its challenge failed"),
        Event(E::OnConnecting, "OnConnecting", line, "Connect armed the INVITE"),
        Event(E::OnIncomingCallRingingStart, "OnIncomingCallRingingStart", {{"CallId", S}},
              "a new incoming call rings, right after OnIncomingCall"),
        Event(E::OnIncomingCallRingingStop, "OnIncomingCallRingingStop", {{"CallId", S}},
              "a ringing incoming call stopped ringing unanswered"),
        Event(E::OnDisconnectCall, "OnDisconnectCall", line, "the peer hung up (BYE)"),
        Event(E::OnCallTransferAccepted, "OnCallTransferAccepted", line, "the REFER was answered 2xx"),
        Event(E::OnProvisionalResponse, "OnProvisionalResponse", response, "1xx to a request of a call"),
        Event(E::OnRedirectionResponse, "OnRedirectionResponse",
              {{"LineNo", I}, {"StatusCode", I}, {"ReasonPhrase", S}, {"Contact", S}},
              "3xx final answer to a request of a call, with its first Contact"),
        Event(E::OnRequestFailureResponse, "OnRequestFailureResponse", response,
              "4xx final answer to a request of a call"),
        Event(E::OnServerFailureResponse, "OnServerFailureResponse", response,
              "5xx final answer to a request of a call"),
        Event(E::OnGeneralFailureResponse, "OnGeneralFailureResponse", response,
              "6xx final answer to a request of a call"),
        Event(E::OnSuccessToConnect, "OnSuccessToConnect", {{"LineNo", I}, {"ToRTPIP", S}, {"ToRTPPort", I}},
              "media started for a call (outgoing 2xx or incoming ACK)"),
        Event(E::OnVoiceMailMsg, "OnVoiceMailMsg",
              {{"IsMsgWaiting", B},
               {"NewMsgCount", I},
               {"OldMsgCount", I},
               {"NewUrgentMsgCount", I},
               {"OldUrgentMsgCount", I},
               {"MsgAccount", S}},
              "a NOTIFY carried a message summary"),
        Event(E::OnIncomingCall, "OnIncomingCall",
              {{"CallId", S}, {"DisplayName", S}, {"UserName", S}, {"FromURI", S}, {"ToURI", S}},
              "a new incoming call"),
        Event(E::OnTryingToReRegister, "OnTryingToReRegister", {}, "first 100 to a refresh REGISTER"),
        Event(E::OnFailToReRegister, "OnFailToReRegister", {}, "a refresh REGISTER failed or timed out"),
        Event(E::OnSuccessToReRegister, "OnSuccessToReRegister", {}, "2xx to a refresh REGISTER"),
    };
}

} // namespace

const std::vector<OrvMemberInfo>& EventTable::Events()
{
    static const std::vector<OrvMemberInfo> events = BuildEvents();
    return events;
}
