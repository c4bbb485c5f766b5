#pragma once

#include "OrvDispatch.h"

#include <cstddef>
#include <string>
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
// Everything here is inline, so a host that loaded the library at run time needs
// none of its symbols to implement a sink.
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

protected:
    void DeliverTyped(int dispId, const std::vector<OrvValue>& a)
    {
        using E = OrvEventId;
        switch (static_cast<E>(dispId)) {
        case E::OnIncomingDiagnostic: OnIncomingDiagnostic(Text(a, 0), Text(a, 1), Int(a, 2)); break;
        case E::OnOutgoingDiagnostic: OnOutgoingDiagnostic(Text(a, 0), Text(a, 1), Int(a, 2)); break;
        case E::OnDTMFDigit: OnDTMFDigit(Int(a, 0), Text(a, 1)); break;
        case E::OnPlayWaveDone: OnPlayWaveDone(Int(a, 0)); break;
        case E::OnMsgNOTIFY: OnMsgNOTIFY(Text(a, 0)); break;
        case E::OnTryingToUnRegister: OnTryingToUnRegister(); break;
        case E::OnFailToUnRegister: OnFailToUnRegister(); break;
        case E::OnSuccessToUnRegister: OnSuccessToUnRegister(); break;
        case E::OnTryingToRegister: OnTryingToRegister(); break;
        case E::OnFailToRegister: OnFailToRegister(); break;
        case E::OnSuccessToRegister: OnSuccessToRegister(); break;
        case E::OnFailToConnect: OnFailToConnect(Int(a, 0)); break;
        case E::OnConnecting: OnConnecting(Int(a, 0)); break;
        case E::OnIncomingCallRingingStart: OnIncomingCallRingingStart(Text(a, 0)); break;
        case E::OnIncomingCallRingingStop: OnIncomingCallRingingStop(Text(a, 0)); break;
        case E::OnDisconnectCall: OnDisconnectCall(Int(a, 0)); break;
        case E::OnCallTransferAccepted: OnCallTransferAccepted(Int(a, 0)); break;
        case E::OnProvisionalResponse: OnProvisionalResponse(Int(a, 0), Int(a, 1), Text(a, 2)); break;
        case E::OnRedirectionResponse: OnRedirectionResponse(Int(a, 0), Int(a, 1), Text(a, 2), Text(a, 3)); break;
        case E::OnRequestFailureResponse: OnRequestFailureResponse(Int(a, 0), Int(a, 1), Text(a, 2)); break;
        case E::OnServerFailureResponse: OnServerFailureResponse(Int(a, 0), Int(a, 1), Text(a, 2)); break;
        case E::OnGeneralFailureResponse: OnGeneralFailureResponse(Int(a, 0), Int(a, 1), Text(a, 2)); break;
        case E::OnSuccessToConnect: OnSuccessToConnect(Int(a, 0), Text(a, 1), Int(a, 2)); break;
        case E::OnVoiceMailMsg:
            OnVoiceMailMsg(Bool(a, 0), Int(a, 1), Int(a, 2), Int(a, 3), Int(a, 4), Text(a, 5));
            break;
        case E::OnIncomingCall: OnIncomingCall(Text(a, 0), Text(a, 1), Text(a, 2), Text(a, 3), Text(a, 4)); break;
        case E::OnTryingToReRegister: OnTryingToReRegister(); break;
        case E::OnFailToReRegister: OnFailToReRegister(); break;
        case E::OnSuccessToReRegister: OnSuccessToReRegister(); break;
        }
    }

private:
    // A missing or mistyped argument reads as the type's empty value.
    template <typename T>
    static T At(const std::vector<OrvValue>& arguments, std::size_t index)
    {
        const T* value = index < arguments.size() ? std::get_if<T>(&arguments[index]) : nullptr;
        return value != nullptr ? *value : T{};
    }
    static int Int(const std::vector<OrvValue>& a, std::size_t index) { return At<int>(a, index); }
    static bool Bool(const std::vector<OrvValue>& a, std::size_t index) { return At<bool>(a, index); }
    static std::string Text(const std::vector<OrvValue>& a, std::size_t index) { return At<std::string>(a, index); }
};
