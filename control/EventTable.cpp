#include "control/EventTable.h"

#include "control/OrvSIPUserAgentOCXEvents.h"
#include "control/ParameterKinds.h"

#include <algorithm>
#include <array>
#include <tuple>
#include <utility>

namespace {

using Members = decltype(OrvSIPUserAgentOCXEvents::TypedMembers());

template <OrvEventId Id>
using MemberOf = std::tuple_element_t<static_cast<std::size_t>(Id) - 1, Members>;

template <typename Member>
struct Signature;

template <typename... P>
struct Signature<void (OrvSIPUserAgentOCXEvents::*)(P...)> {
    using Names = std::array<const char*, sizeof...(P)>;
    static std::vector<OrvParameter> Parameters(const Names& names) { return ParameterKinds::Parameters<P...>(names); }
};

class Table {
public:
    Table();

    std::vector<OrvMemberInfo> events;
    std::vector<std::pair<EventType, int>> dispIds;

private:
    template <OrvEventId Id>
    void Add(EventType queueType, const char* name, const typename Signature<MemberOf<Id>>::Names& parameterNames,
             const char* help)
    {
        const int dispId = static_cast<int>(Id);
        events.push_back({dispId, name, Signature<MemberOf<Id>>::Parameters(parameterNames), OrvType::None, help});
        dispIds.emplace_back(queueType, dispId);
    }
};

// To add an event: its identifier in OrvEventId, its typed member at the end of
// OrvSIPUserAgentOCXEvents and of TypedMembers(), its EventType for the engine, and
// its line here.
Table::Table()
{
    using E = OrvEventId;
    using T = EventType;
    Add<E::OnIncomingDiagnostic>(T::IncomingDiagnostic, "OnIncomingDiagnostic", {"MsgSIP", "FromIP", "FromPort"},
                                 "every datagram received on the SIP socket");
    Add<E::OnOutgoingDiagnostic>(T::OutgoingDiagnostic, "OnOutgoingDiagnostic", {"MsgSIP", "ToIP", "ToPort"},
                                 "every SIP message the system took to send, with its destination address");
    Add<E::OnDTMFDigit>(T::DtmfDigit, "OnDTMFDigit", {"LineNo", "Digit"}, "a telephone-event digit was received");
    Add<E::OnPlayWaveDone>(T::PlayWaveDone, "OnPlayWaveDone", {"LineNo"}, "wave playback of the line finished");
    Add<E::OnMsgNOTIFY>(T::MsgNotify, "OnMsgNOTIFY", {"Msg"}, "a NOTIFY was received, with its full text");
    Add<E::OnTryingToUnRegister>(T::TryingToUnRegister, "OnTryingToUnRegister", {}, "100 to the un-REGISTER");
    Add<E::OnFailToUnRegister>(T::FailToUnRegister, "OnFailToUnRegister", {}, "no 2xx to the un-REGISTER within 4 s");
    Add<E::OnSuccessToUnRegister>(T::SuccessToUnRegister, "OnSuccessToUnRegister", {}, "2xx to the un-REGISTER");
    Add<E::OnTryingToRegister>(T::TryingToRegister, "OnTryingToRegister", {}, "first 100 to a first REGISTER");
    Add<E::OnFailToRegister>(T::FailToRegister, "OnFailToRegister", {}, "the first REGISTER failed or timed out");
    Add<E::OnSuccessToRegister>(T::SuccessToRegister, "OnSuccessToRegister", {}, "2xx to a first REGISTER");
    Add<E::OnFailToConnect>(T::FailToConnect, "OnFailToConnect", {"LineNo"},
                            "the INVITE timed out, its challenge failed or it could not be sent");
    Add<E::OnConnecting>(T::Connecting, "OnConnecting", {"LineNo"}, "Connect armed the INVITE");
    Add<E::OnIncomingCallRingingStart>(T::IncomingCallRingingStart, "OnIncomingCallRingingStart", {"CallId"},
                                       "a new incoming call rings, right after OnIncomingCall");
    Add<E::OnIncomingCallRingingStop>(T::IncomingCallRingingStop, "OnIncomingCallRingingStop", {"CallId"},
                                      "a ringing incoming call stopped ringing unanswered");
    Add<E::OnDisconnectCall>(T::DisconnectCall, "OnDisconnectCall", {"LineNo"},
                             "the peer hung up (BYE), or a request of the call could not be sent");
    Add<E::OnCallTransferAccepted>(T::CallTransferAccepted, "OnCallTransferAccepted", {"LineNo"},
                                   "the REFER was answered 2xx");
    Add<E::OnProvisionalResponse>(T::ProvisionalResponse, "OnProvisionalResponse",
                                  {"LineNo", "StatusCode", "ReasonPhrase"}, "1xx to a request of a call");
    Add<E::OnRedirectionResponse>(T::RedirectionResponse, "OnRedirectionResponse",
                                  {"LineNo", "StatusCode", "ReasonPhrase", "Contact"},
                                  "3xx final answer to a request of a call, with its first Contact");
    Add<E::OnRequestFailureResponse>(T::RequestFailureResponse, "OnRequestFailureResponse",
                                     {"LineNo", "StatusCode", "ReasonPhrase"}, "4xx final answer to a request of a call");
    Add<E::OnServerFailureResponse>(T::ServerFailureResponse, "OnServerFailureResponse",
                                    {"LineNo", "StatusCode", "ReasonPhrase"}, "5xx final answer to a request of a call");
    Add<E::OnGeneralFailureResponse>(T::GeneralFailureResponse, "OnGeneralFailureResponse",
                                     {"LineNo", "StatusCode", "ReasonPhrase"}, "6xx final answer to a request of a call");
    Add<E::OnSuccessToConnect>(T::SuccessToConnect, "OnSuccessToConnect", {"LineNo", "ToRTPIP", "ToRTPPort"},
                               "media started for a call (outgoing 2xx or incoming ACK)");
    Add<E::OnVoiceMailMsg>(T::VoiceMailMsg, "OnVoiceMailMsg",
                           {"IsMsgWaiting", "NewMsgCount", "OldMsgCount", "NewUrgentMsgCount", "OldUrgentMsgCount",
                            "MsgAccount"},
                           "a NOTIFY carried a message summary");
    Add<E::OnIncomingCall>(T::IncomingCall, "OnIncomingCall",
                           {"CallId", "DisplayName", "UserName", "FromURI", "ToURI"}, "a new incoming call");
    Add<E::OnTryingToReRegister>(T::TryingToReRegister, "OnTryingToReRegister", {}, "first 100 to a refresh REGISTER");
    Add<E::OnFailToReRegister>(T::FailToReRegister, "OnFailToReRegister", {}, "a refresh REGISTER failed or timed out");
    Add<E::OnSuccessToReRegister>(T::SuccessToReRegister, "OnSuccessToReRegister", {}, "2xx to a refresh REGISTER");
}

const Table& TheTable()
{
    static const Table table;
    return table;
}

} // namespace

const std::vector<OrvMemberInfo>& EventTable::Events()
{
    return TheTable().events;
}

int EventTable::DispIdOf(EventType type)
{
    const auto& dispIds = TheTable().dispIds;
    auto found = std::find_if(dispIds.begin(), dispIds.end(), [type](const auto& pair) { return pair.first == type; });
    return found != dispIds.end() ? found->second : 0;
}
