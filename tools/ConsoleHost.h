#pragma once

#include "useragent/EventSink.h"

#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

class MessageLoop;
class SipUserAgent;

// orvua: hosts the user agent on a message loop, runs one method call per input
// line and prints one line per result and per event.
class ConsoleHost : public EventSink {
public:
    using Value = std::variant<std::monostate, bool, int, std::string>;
    enum class Kind { Int, Bool, String };

    ConsoleHost(MessageLoop& loop, std::FILE* out);
    ~ConsoleHost() override;

    // Runs one input line; false after "quit".
    bool Execute(const std::string& line);
    // Reads standard input while the loop keeps running; returns at end of input or
    // "quit", after UnInitialize.
    int Run(int inputFd);

private:
    struct Method {
        std::vector<Kind> kinds;
        std::function<Value(const std::vector<Value>&)> call;
    };

    void AddMethods();
    void Add(const std::string& name, std::vector<Kind> kinds, std::function<Value(const std::vector<Value>&)> call);
    void CallMethod(const std::string& name, const std::vector<std::string>& words);
    void WaitFor(const std::vector<std::string>& words);
    bool ProcessInput(std::string& pending, bool endOfInput);
    void PrintResult(const Value& value);
    void PrintEvent(const std::string& name, const std::vector<Value>& arguments);
    void Complain(const std::string& text);
    static std::string Format(const Value& value);

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

    MessageLoop& loop_;
    std::FILE* out_;
    std::unique_ptr<SipUserAgent> agent_;
    std::map<std::string, Method> methods_;
    std::deque<std::string> eventsSinceWait_;
};
