#pragma once

#include "control/OrvSIPUserAgentOCXEvents.h"

#include <functional>
#include <string>

// A second event sink on the control, beside the main window: it follows what the
// socket's snapshot tells (registration, and whether the line's call is still being
// set up or connected) and hands the control's 3xx-6xx answers to the socket, which
// carries them with their SIP status code.
class CtiCallState : public OrvSIPUserAgentOCXEvents {
public:
    enum class Progress { Idle, Dialling, Connected };

    using FailureHandler = std::function<void(int statusCode, const std::string& reason, const std::string& contact)>;

    explicit CtiCallState(FailureHandler onFailure) : onFailure_(std::move(onFailure)) {}

    const std::string& Registration() const { return registration_; }
    Progress CallProgress() const { return progress_; }

    void OnTryingToRegister() override { registration_ = "REGISTERING"; }
    void OnSuccessToRegister() override { registration_ = "REGISTERED"; }
    void OnSuccessToReRegister() override { registration_ = "REGISTERED"; }
    void OnFailToRegister() override { registration_ = "FAILED"; }
    void OnFailToReRegister() override { registration_ = "FAILED"; }
    void OnSuccessToUnRegister() override { registration_ = "UNREGISTERED"; }

    void CallEndedHere() { progress_ = Progress::Idle; }

    void OnConnecting(int) override { progress_ = Progress::Dialling; }
    void OnSuccessToConnect(int, const std::string&, int) override { progress_ = Progress::Connected; }
    void OnFailToConnect(int) override { progress_ = Progress::Idle; }
    void OnDisconnectCall(int) override { progress_ = Progress::Idle; }

    void OnRedirectionResponse(int, int statusCode, const std::string& reason, const std::string& contact) override
    {
        onFailure_(statusCode, reason, contact);
    }
    void OnRequestFailureResponse(int, int statusCode, const std::string& reason) override
    {
        onFailure_(statusCode, reason, {});
    }
    void OnServerFailureResponse(int, int statusCode, const std::string& reason) override
    {
        onFailure_(statusCode, reason, {});
    }
    void OnGeneralFailureResponse(int, int statusCode, const std::string& reason) override
    {
        onFailure_(statusCode, reason, {});
    }

private:
    FailureHandler onFailure_;
    std::string registration_ = "OFFLINE";
    Progress progress_ = Progress::Idle;
};
