#pragma once

#include "control/OrvSIPUserAgentOCXEvents.h"
#include "useragent/EventSink.h"

#include <memory>
#include <string>
#include <vector>

class ConnectionPoint;
class MessageLoop;
class SipUserAgent;

// The engine's event sink, owned by the control: it owns the SIP engine, and turns
// each event the engine delivers from its queue into the control's event with the
// event's parameters, fired to the connected sinks.
class ControlEventSink : public EventSink {
public:
    ControlEventSink(ConnectionPoint& connections, MessageLoop& loop);
    ~ControlEventSink() override;
    ControlEventSink(const ControlEventSink&) = delete;
    ControlEventSink& operator=(const ControlEventSink&) = delete;

    SipUserAgent& Engine() { return *engine_; }

private:
    void Fire(OrvEventId event, const std::vector<OrvValue>& arguments);

    void OnTryingToRegister() override;
    void OnFailToRegister() override;
    void OnSuccessToRegister() override;
    void OnTryingToReRegister() override;
    void OnFailToReRegister() override;
    void OnSuccessToReRegister() override;
    void OnTryingToUnRegister() override;
    void OnFailToUnRegister() override;
    void OnSuccessToUnRegister() override;
    void OnConnecting(int line) override;
    void OnSuccessToConnect(int line, const std::string& rtpIp, int rtpPort) override;
    void OnFailToConnect(int line) override;
    void OnDisconnectCall(int line) override;
    void OnCallTransferAccepted(int line) override;
    void OnPlayWaveDone(int line) override;
    void OnDTMFDigit(int line, const std::string& digit) override;
    void OnMsgNOTIFY(const std::string& message) override;
    void OnVoiceMailMsg(bool waiting, int newCount, int oldCount, int newUrgent, int oldUrgent,
                        const std::string& account) override;
    void OnIncomingCall(const std::string& callId, const std::string& displayName, const std::string& userName,
                        const std::string& fromUri, const std::string& toUri) override;
    void OnIncomingCallRingingStart(const std::string& callId) override;
    void OnIncomingCallRingingStop(const std::string& callId) override;
    void OnProvisionalResponse(int line, int status, const std::string& reason) override;
    void OnRedirectionResponse(int line, int status, const std::string& reason, const std::string& contact) override;
    void OnRequestFailureResponse(int line, int status, const std::string& reason) override;
    void OnServerFailureResponse(int line, int status, const std::string& reason) override;
    void OnGeneralFailureResponse(int line, int status, const std::string& reason) override;
    void OnIncomingDiagnostic(const std::string& message, const std::string& ip, int port) override;
    void OnOutgoingDiagnostic(const std::string& message, const std::string& ip, int port) override;

    ConnectionPoint& connections_;
    std::unique_ptr<SipUserAgent> engine_;
};
