#pragma once

#include "OrvDispatch.h"

#include <cstddef>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

// Dispatch identifiers of the control's 28 events.
enum class OrvEventId : int {
    OnIncomingDiagnostic = 1,
    OnOutgoingDiagnostic = 2,
    OnDTMFDigit = 3,
    OnPlayWaveDone = 4,
    OnMsgNOTIFY = 5,
    OnTryingToUnRegister = 6,
    OnFailToUnRegister = 7,
    OnSuccessToUnRegister = 8,
    OnTryingToRegister = 9,
    OnFailToRegister = 10,
    OnSuccessToRegister = 11,
    OnFailToConnect = 12,
    OnConnecting = 13,
    OnIncomingCallRingingStart = 14,
    OnIncomingCallRingingStop = 15,
    OnDisconnectCall = 16,
    OnCallTransferAccepted = 17,
    OnProvisionalResponse = 18,
    OnRedirectionResponse = 19,
    OnRequestFailureResponse = 20,
    OnServerFailureResponse = 21,
    OnGeneralFailureResponse = 22,
    OnSuccessToConnect = 23,
    OnVoiceMailMsg = 24,
    OnIncomingCall = 25,
    OnTryingToReRegister = 26,
    OnFailToReRegister = 27,
    OnSuccessToReRegister = 28,
};

// The event interface a host implements and connects to the control with Advise.
// Events arrive on the thread that owns the control, from its message loop (never
// from inside a method call), in the order the control queued them.
//
// A sink may throw: the sinks connected after it still get that event, the events
// not yet delivered stay queued in their order, and the first exception thrown comes
// out of the call that was dispatching (DispatchEvents, RunFor or RunUntil) once the
// event has reached every sink. The next dispatch goes on with the next event.
//
// Everything here is inline, so a host that loaded the library at run time needs
// none of its symbols to implement a sink. The order and the signatures of the
// virtual members are fixed: a host's sink is built against them.
class ORV_EXPORT OrvSIPUserAgentOCXEvents {
public:
    virtual ~OrvSIPUserAgentOCXEvents() = default;

    // Every event arrives here first, by dispatch identifier, with its arguments in
    // the event's parameter order. The default hands it to the typed member below; a
    // host that handles events generically overrides this one instead.
    virtual void Invoke(int dispId, const std::vector<OrvValue>& arguments) { DeliverTyped(dispId, arguments); }

    virtual void OnIncomingDiagnostic(const std::string& /*msgSip*/, const std::string& /*fromIp*/, int /*fromPort*/) {}
    virtual void OnOutgoingDiagnostic(const std::string& /*msgSip*/, const std::string& /*toIp*/, int /*toPort*/) {}
    virtual void OnDTMFDigit(int /*lineNo*/, const std::string& /*digit*/) {}
    virtual void OnPlayWaveDone(int /*lineNo*/) {}
    virtual void OnMsgNOTIFY(const std::string& /*msg*/) {}
    virtual void OnTryingToUnRegister() {}
    virtual void OnFailToUnRegister() {}
    virtual void OnSuccessToUnRegister() {}
    virtual void OnTryingToRegister() {}
    virtual void OnFailToRegister() {}
    virtual void OnSuccessToRegister() {}
    virtual void OnFailToConnect(int /*lineNo*/) {}
    virtual void OnConnecting(int /*lineNo*/) {}
    virtual void OnIncomingCallRingingStart(const std::string& /*callId*/) {}
    virtual void OnIncomingCallRingingStop(const std::string& /*callId*/) {}
    virtual void OnDisconnectCall(int /*lineNo*/) {}
    virtual void OnCallTransferAccepted(int /*lineNo*/) {}
    virtual void OnProvisionalResponse(int /*lineNo*/, int /*statusCode*/, const std::string& /*reasonPhrase*/) {}
    virtual void OnRedirectionResponse(int /*lineNo*/, int /*statusCode*/, const std::string& /*reasonPhrase*/,
                                       const std::string& /*contact*/)
    {
    }
    virtual void OnRequestFailureResponse(int /*lineNo*/, int /*statusCode*/, const std::string& /*reasonPhrase*/) {}
    virtual void OnServerFailureResponse(int /*lineNo*/, int /*statusCode*/, const std::string& /*reasonPhrase*/) {}
    virtual void OnGeneralFailureResponse(int /*lineNo*/, int /*statusCode*/, const std::string& /*reasonPhrase*/) {}
    virtual void OnSuccessToConnect(int /*lineNo*/, const std::string& /*toRtpIp*/, int /*toRtpPort*/) {}
    virtual void OnVoiceMailMsg(bool /*isMsgWaiting*/, int /*newMsgCount*/, int /*oldMsgCount*/,
                                int /*newUrgentMsgCount*/, int /*oldUrgentMsgCount*/, const std::string& /*msgAccount*/)
    {
    }
    virtual void OnIncomingCall(const std::string& /*callId*/, const std::string& /*displayName*/,
                                const std::string& /*userName*/, const std::string& /*fromUri*/,
                                const std::string& /*toUri*/)
    {
    }
    virtual void OnTryingToReRegister() {}
    virtual void OnFailToReRegister() {}
    virtual void OnSuccessToReRegister() {}

    // The typed members in dispatch identifier order (the member of event N is element
    // N - 1): DeliverTyped calls them, and the control's event table reads each
    // event's parameter kinds from their signatures.
    static constexpr auto TypedMembers()
    {
        using S = OrvSIPUserAgentOCXEvents;
        return std::make_tuple(
            &S::OnIncomingDiagnostic, &S::OnOutgoingDiagnostic, &S::OnDTMFDigit, &S::OnPlayWaveDone, &S::OnMsgNOTIFY,
            &S::OnTryingToUnRegister, &S::OnFailToUnRegister, &S::OnSuccessToUnRegister, &S::OnTryingToRegister,
            &S::OnFailToRegister, &S::OnSuccessToRegister, &S::OnFailToConnect, &S::OnConnecting,
            &S::OnIncomingCallRingingStart, &S::OnIncomingCallRingingStop, &S::OnDisconnectCall,
            &S::OnCallTransferAccepted, &S::OnProvisionalResponse, &S::OnRedirectionResponse,
            &S::OnRequestFailureResponse, &S::OnServerFailureResponse, &S::OnGeneralFailureResponse,
            &S::OnSuccessToConnect, &S::OnVoiceMailMsg, &S::OnIncomingCall, &S::OnTryingToReRegister,
            &S::OnFailToReRegister, &S::OnSuccessToReRegister);
    }

protected:
    // Calls the typed member of the event; an identifier no event has does nothing.
    void DeliverTyped(int dispId, const std::vector<OrvValue>& arguments)
    {
        DeliverTyped(dispId, arguments, std::make_index_sequence<std::tuple_size_v<decltype(TypedMembers())>>{});
    }

private:
    template <std::size_t... Event>
    void DeliverTyped(int dispId, const std::vector<OrvValue>& arguments, std::index_sequence<Event...>)
    {
        constexpr auto members = TypedMembers();
        ((dispId == static_cast<int>(Event) + 1 ? Call(std::get<Event>(members), arguments) : void()), ...);
    }

    // Each argument is read as the member's parameter takes it.
    template <typename... P>
    void Call(void (OrvSIPUserAgentOCXEvents::*member)(P...), const std::vector<OrvValue>& arguments)
    {
        Call(member, arguments, std::index_sequence_for<P...>{});
    }
    template <typename... P, std::size_t... Index>
    void Call(void (OrvSIPUserAgentOCXEvents::*member)(P...), const std::vector<OrvValue>& arguments,
              std::index_sequence<Index...>)
    {
        (this->*member)(At<std::remove_cv_t<std::remove_reference_t<P>>>(arguments, Index)...);
    }

    // A missing or mistyped argument reads as the type's empty value.
    template <typename T>
    static T At(const std::vector<OrvValue>& arguments, std::size_t index)
    {
        const T* value = index < arguments.size() ? std::get_if<T>(&arguments[index]) : nullptr;
        return value != nullptr ? *value : T{};
    }
};
