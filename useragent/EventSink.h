#pragma once

#include <string>

// Receives the engine's events, always from the message loop and never from inside a
// method call. The order of the operations is the sink's slot order.
class EventSink {
public:
    virtual ~EventSink() = default;

    virtual void OnTryingToRegister() {}
    virtual void OnFailToRegister() {}
    virtual void OnSuccessToRegister() {}
    virtual void OnTryingToReRegister() {}
    virtual void OnFailToReRegister() {}
    virtual void OnSuccessToReRegister() {}
    virtual void OnTryingToUnRegister() {}
    virtual void OnFailToUnRegister() {}
    virtual void OnSuccessToUnRegister() {}
    virtual void OnConnecting(int /*line*/) {}
    virtual void OnSuccessToConnect(int /*line*/, const std::string& /*rtpIp*/, int /*rtpPort*/) {}
    virtual void OnFailToConnect(int /*line*/) {}
    virtual void OnDisconnectCall(int /*line*/) {}
    virtual void OnCallTransferAccepted(int /*line*/) {}
    virtual void OnPlayWaveDone(int /*line*/) {}
    virtual void OnDTMFDigit(int /*line*/, const std::string& /*digit*/) {}
    virtual void OnMsgNOTIFY(const std::string& /*message*/) {}
    virtual void OnVoiceMailMsg(bool /*waiting*/, int /*newCount*/, int /*oldCount*/, int /*newUrgent*/,
                                int /*oldUrgent*/, const std::string& /*account*/)
    {
    }
    virtual void OnIncomingCall(const std::string& /*callId*/, const std::string& /*displayName*/,
                                const std::string& /*userName*/, const std::string& /*fromUri*/,
                                const std::string& /*toUri*/)
    {
    }
    virtual void OnIncomingCallRingingStart(const std::string& /*callId*/) {}
    virtual void OnIncomingCallRingingStop(const std::string& /*callId*/) {}
    virtual void OnProvisionalResponse(int /*line*/, int /*status*/, const std::string& /*reason*/) {}
    virtual void OnRedirectionResponse(int /*line*/, int /*status*/, const std::string& /*reason*/,
                                       const std::string& /*contact*/)
    {
    }
    virtual void OnRequestFailureResponse(int /*line*/, int /*status*/, const std::string& /*reason*/) {}
    virtual void OnServerFailureResponse(int /*line*/, int /*status*/, const std::string& /*reason*/) {}
    virtual void OnGeneralFailureResponse(int /*line*/, int /*status*/, const std::string& /*reason*/) {}
    virtual void OnIncomingDiagnostic(const std::string& /*message*/, const std::string& /*ip*/, int /*port*/) {}
    virtual void OnOutgoingDiagnostic(const std::string& /*message*/, const std::string& /*ip*/, int /*port*/) {}
};
