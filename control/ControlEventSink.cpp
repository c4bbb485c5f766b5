#include "control/ControlEventSink.h"

#include "control/ConnectionPoint.h"
#include "useragent/SipUserAgent.h"

using E = OrvEventId;

ControlEventSink::ControlEventSink(ConnectionPoint& connections, MessageLoop& loop)
    : connections_(connections), engine_(std::make_unique<SipUserAgent>(this, loop))
{
}

ControlEventSink::~ControlEventSink() = default;

void ControlEventSink::Fire(OrvEventId event, const std::vector<OrvValue>& arguments)
{
    connections_.Fire(event, arguments);
}

void ControlEventSink::OnTryingToRegister() { Fire(E::OnTryingToRegister, {}); }
void ControlEventSink::OnFailToRegister() { Fire(E::OnFailToRegister, {}); }
void ControlEventSink::OnSuccessToRegister() { Fire(E::OnSuccessToRegister, {}); }
void ControlEventSink::OnTryingToReRegister() { Fire(E::OnTryingToReRegister, {}); }
void ControlEventSink::OnFailToReRegister() { Fire(E::OnFailToReRegister, {}); }
void ControlEventSink::OnSuccessToReRegister() { Fire(E::OnSuccessToReRegister, {}); }
void ControlEventSink::OnTryingToUnRegister() { Fire(E::OnTryingToUnRegister, {}); }
void ControlEventSink::OnFailToUnRegister() { Fire(E::OnFailToUnRegister, {}); }
void ControlEventSink::OnSuccessToUnRegister() { Fire(E::OnSuccessToUnRegister, {}); }
void ControlEventSink::OnConnecting(int line) { Fire(E::OnConnecting, {line}); }
void ControlEventSink::OnFailToConnect(int line) { Fire(E::OnFailToConnect, {line}); }
void ControlEventSink::OnDisconnectCall(int line) { Fire(E::OnDisconnectCall, {line}); }
void ControlEventSink::OnCallTransferAccepted(int line) { Fire(E::OnCallTransferAccepted, {line}); }
void ControlEventSink::OnPlayWaveDone(int line) { Fire(E::OnPlayWaveDone, {line}); }
void ControlEventSink::OnDTMFDigit(int line, const std::string& digit) { Fire(E::OnDTMFDigit, {line, digit}); }
void ControlEventSink::OnMsgNOTIFY(const std::string& message) { Fire(E::OnMsgNOTIFY, {message}); }

void ControlEventSink::OnSuccessToConnect(int line, const std::string& rtpIp, int rtpPort)
{
    Fire(E::OnSuccessToConnect, {line, rtpIp, rtpPort});
}

void ControlEventSink::OnVoiceMailMsg(bool waiting, int newCount, int oldCount, int newUrgent, int oldUrgent,
                                      const std::string& account)
{
    Fire(E::OnVoiceMailMsg, {waiting, newCount, oldCount, newUrgent, oldUrgent, account});
}

void ControlEventSink::OnIncomingCall(const std::string& callId, const std::string& displayName,
                                      const std::string& userName, const std::string& fromUri,
                                      const std::string& toUri)
{
    Fire(E::OnIncomingCall, {callId, displayName, userName, fromUri, toUri});
}

void ControlEventSink::OnIncomingCallRingingStart(const std::string& callId)
{
    Fire(E::OnIncomingCallRingingStart, {callId});
}

void ControlEventSink::OnIncomingCallRingingStop(const std::string& callId)
{
    Fire(E::OnIncomingCallRingingStop, {callId});
}

void ControlEventSink::OnProvisionalResponse(int line, int status, const std::string& reason)
{
    Fire(E::OnProvisionalResponse, {line, status, reason});
}

void ControlEventSink::OnRedirectionResponse(int line, int status, const std::string& reason,
                                             const std::string& contact)
{
    Fire(E::OnRedirectionResponse, {line, status, reason, contact});
}

void ControlEventSink::OnRequestFailureResponse(int line, int status, const std::string& reason)
{
    Fire(E::OnRequestFailureResponse, {line, status, reason});
}

void ControlEventSink::OnServerFailureResponse(int line, int status, const std::string& reason)
{
    Fire(E::OnServerFailureResponse, {line, status, reason});
}

void ControlEventSink::OnGeneralFailureResponse(int line, int status, const std::string& reason)
{
    Fire(E::OnGeneralFailureResponse, {line, status, reason});
}

void ControlEventSink::OnIncomingDiagnostic(const std::string& message, const std::string& ip, int port)
{
    Fire(E::OnIncomingDiagnostic, {message, ip, port});
}

void ControlEventSink::OnOutgoingDiagnostic(const std::string& message, const std::string& ip, int port)
{
    Fire(E::OnOutgoingDiagnostic, {message, ip, port});
}
