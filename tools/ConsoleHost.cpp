#include "tools/ConsoleHost.h"

#include "platform/MessageLoop.h"
#include "tools/CommandLine.h"
#include "useragent/SipUserAgent.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>

namespace {

constexpr int DefaultWaitForMs = 5000;

int Int(const std::vector<ConsoleHost::Value>& values, std::size_t at)
{
    return std::get<int>(values[at]);
}

bool Bool(const std::vector<ConsoleHost::Value>& values, std::size_t at)
{
    return std::get<bool>(values[at]);
}

const std::string& Text(const std::vector<ConsoleHost::Value>& values, std::size_t at)
{
    return std::get<std::string>(values[at]);
}

} // namespace

ConsoleHost::ConsoleHost(MessageLoop& loop, std::FILE* out)
    : loop_(loop), out_(out), agent_(std::make_unique<SipUserAgent>(this, loop))
{
    AddMethods();
}

ConsoleHost::~ConsoleHost() = default;

void ConsoleHost::Add(const std::string& name, std::vector<Kind> kinds,
                      std::function<Value(const std::vector<Value>&)> call)
{
    methods_[name] = Method{std::move(kinds), std::move(call)};
}

void ConsoleHost::AddMethods()
{
    using K = Kind;
    SipUserAgent& ua = *agent_;
    Add("Initialize", {K::Bool, K::String, K::Int, K::String, K::String, K::String, K::String, K::String, K::Bool, K::Int},
        [&ua](const auto& a) -> Value {
            return ua.Initialize(Bool(a, 0), Text(a, 1), Int(a, 2), Text(a, 3), Text(a, 4), Text(a, 5), Text(a, 6),
                                 Text(a, 7), Bool(a, 8), Int(a, 9));
        });
    Add("UnInitialize", {}, [&ua](const auto&) -> Value {
        ua.UnInitialize();
        return {};
    });
    Add("GetOrvObjectError", {}, [&ua](const auto&) -> Value { return ua.GetLastError(); });
    Add("GetMyIP", {}, [&ua](const auto&) -> Value { return ua.GetMyIP(); });
    Add("OpenLine", {K::Int, K::Bool, K::String, K::Int},
        [&ua](const auto& a) -> Value { return ua.OpenLine(Int(a, 0), Bool(a, 1), Text(a, 2), Int(a, 3)); });
    Add("CloseLine", {K::Int}, [&ua](const auto& a) -> Value { return ua.CloseLine(Int(a, 0)); });
    Add("IsLineOpen", {K::Int}, [&ua](const auto& a) -> Value { return ua.IsLineOpen(Int(a, 0)); });
    Add("IsLineHold", {K::Int}, [&ua](const auto& a) -> Value { return ua.IsLineHold(Int(a, 0)); });
    Add("Connect", {K::Int, K::String, K::Int, K::Int},
        [&ua](const auto& a) -> Value { return ua.Connect(Int(a, 0), Text(a, 1), Int(a, 2), Int(a, 3)); });
    Add("Disconnect", {K::Int}, [&ua](const auto& a) -> Value { return ua.Disconnect(Int(a, 0)); });
    Add("AcceptCall", {K::Int, K::String, K::Int, K::Int},
        [&ua](const auto& a) -> Value { return ua.AcceptCall(Int(a, 0), Text(a, 1), Int(a, 2), Int(a, 3)); });
    Add("RejectCall", {K::String}, [&ua](const auto& a) -> Value { return ua.RejectCall(Text(a, 0)); });
    Add("EnableDonotDisturb", {}, [&ua](const auto&) -> Value {
        ua.EnableDonotDisturb();
        return {};
    });
    Add("DisableDonotDisturb", {}, [&ua](const auto&) -> Value {
        ua.DisableDonotDisturb();
        return {};
    });
    Add("GetOutboundCodec", {K::Int}, [&ua](const auto& a) -> Value { return ua.GetOutboundCodec(Int(a, 0)); });
    Add("HoldLine", {K::Int}, [&ua](const auto& a) -> Value { return ua.HoldLine(Int(a, 0)); });
    Add("UnHoldLine", {K::Int}, [&ua](const auto& a) -> Value { return ua.UnHoldLine(Int(a, 0)); });
    Add("TransferCall", {K::Int, K::String},
        [&ua](const auto& a) -> Value { return ua.TransferCall(Int(a, 0), Text(a, 1)); });
    Add("JoinTwoLine", {K::Int, K::Int}, [&ua](const auto& a) -> Value { return ua.JoinTwoLine(Int(a, 0), Int(a, 1)); });
    Add("GetInboundCodec", {K::Int}, [&ua](const auto& a) -> Value { return ua.GetInboundCodec(Int(a, 0)); });
    Add("DigitDTMF", {K::Int, K::String}, [&ua](const auto& a) -> Value { return ua.DigitDTMF(Int(a, 0), Text(a, 1)); });
    Add("EnableForceInbandDTMF", {K::Int}, [&ua](const auto& a) -> Value { return ua.EnableForceInbandDTMF(Int(a, 0)); });
    Add("DisableForceInbandDTMF", {K::Int},
        [&ua](const auto& a) -> Value { return ua.DisableForceInbandDTMF(Int(a, 0)); });
    Add("GetDTMFVolume", {}, [&ua](const auto&) -> Value { return ua.GetDTMFVolume(); });
    Add("SetDTMFVolume", {K::Int}, [&ua](const auto& a) -> Value { return ua.SetDTMFVolume(Int(a, 0)); });
    Add("SetTOS", {K::Int, K::Int}, [&ua](const auto& a) -> Value { return ua.SetTOS(Int(a, 0), Int(a, 1)); });
    Add("GetTOS", {K::Int}, [&ua](const auto& a) -> Value { return ua.GetTOS(Int(a, 0)); });
    Add("MuteMic", {K::Bool}, [&ua](const auto& a) -> Value { return ua.MuteMic(Bool(a, 0)); });
    Add("MuteSpk", {K::Bool}, [&ua](const auto& a) -> Value { return ua.MuteSpk(Bool(a, 0)); });
    Add("GetMicVolume", {}, [&ua](const auto&) -> Value { return ua.GetMicVolume(); });
    Add("SetMicVolume", {K::Int}, [&ua](const auto& a) -> Value { return ua.SetMicVolume(Int(a, 0)); });
    Add("GetSpkVolume", {}, [&ua](const auto&) -> Value { return ua.GetSpkVolume(); });
    Add("SetSpkVolume", {K::Int}, [&ua](const auto& a) -> Value { return ua.SetSpkVolume(Int(a, 0)); });
    Add("EnableMicBoost", {}, [&ua](const auto&) -> Value { return ua.EnableMicBoost(); });
    Add("DisableMicBoost", {}, [&ua](const auto&) -> Value { return ua.DisableMicBoost(); });
    Add("IsMicBoostEnable", {}, [&ua](const auto&) -> Value { return ua.IsMicBoostEnable(); });
    Add("EnableAGC", {K::Int}, [&ua](const auto& a) -> Value { return ua.EnableAGC(Int(a, 0)); });
    Add("DisableAGC", {}, [&ua](const auto&) -> Value { return ua.DisableAGC(); });
    Add("EnableEchoNoiseCancellation", {}, [&ua](const auto&) -> Value { return ua.EnableEchoNoiseCancellation(); });
    Add("DisableEchoNoiseCancellation", {}, [&ua](const auto&) -> Value { return ua.DisableEchoNoiseCancellation(); });
    Add("GetMicSoundLevel", {}, [&ua](const auto&) -> Value { return ua.GetMicSoundLevel(); });
    Add("GetSpkSoundLevel", {}, [&ua](const auto&) -> Value { return ua.GetSpkSoundLevel(); });
    Add("GetAudioInDevTotal", {}, [](const auto&) -> Value { return SipUserAgent::GetAudioInDevTotal(); });
    Add("GetAudioOutDevTotal", {}, [](const auto&) -> Value { return SipUserAgent::GetAudioOutDevTotal(); });
    Add("GetAudioInDevName", {K::Int},
        [](const auto& a) -> Value { return SipUserAgent::GetAudioInDevName(Int(a, 0)); });
    Add("GetAudioOutDevName", {K::Int},
        [](const auto& a) -> Value { return SipUserAgent::GetAudioOutDevName(Int(a, 0)); });
    Add("RegisterToProxy", {K::Int}, [&ua](const auto& a) -> Value { return ua.RegisterToProxy(Int(a, 0)); });
    Add("UnRegisterToProxy", {}, [&ua](const auto&) -> Value { return ua.UnRegisterToProxy(); });
    Add("EnableKeepAlive", {K::Int}, [&ua](const auto& a) -> Value { return ua.EnableKeepAlive(Int(a, 0)); });
    Add("DisableKeepAlive", {}, [&ua](const auto&) -> Value {
        ua.DisableKeepAlive();
        return {};
    });
    Add("SelectAllVoiceCodec", {}, [&ua](const auto&) -> Value {
        ua.SelectAllVoiceCodec();
        return {};
    });
    Add("DeselectAllVoiceCodec", {}, [&ua](const auto&) -> Value {
        ua.DeselectAllVoiceCodec();
        return {};
    });
    Add("SelectVoiceCodec", {K::Int}, [&ua](const auto& a) -> Value { return ua.SelectVoiceCodec(Int(a, 0)); });
    Add("DeselectVoiceCodec", {K::Int}, [&ua](const auto& a) -> Value { return ua.DeselectVoiceCodec(Int(a, 0)); });
    Add("IsLineBusy", {K::Int}, [&ua](const auto& a) -> Value { return ua.IsLineBusy(Int(a, 0)); });
}

std::string ConsoleHost::Format(const Value& value)
{
    if (std::holds_alternative<bool>(value))
        return std::get<bool>(value) ? "true" : "false";
    if (std::holds_alternative<int>(value))
        return std::to_string(std::get<int>(value));
    if (std::holds_alternative<std::string>(value))
        return CommandLine::Quote(std::get<std::string>(value));
    return {};
}

void ConsoleHost::PrintResult(const Value& value)
{
    std::string text = Format(value);
    std::fprintf(out_, "=%s%s\n", text.empty() ? "" : " ", text.c_str());
    std::fflush(out_);
}

void ConsoleHost::PrintEvent(const std::string& name, const std::vector<Value>& arguments)
{
    std::string line = "! " + name;
    for (const Value& argument : arguments)
        line += " " + Format(argument);
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
    eventsSinceWait_.push_back(name);
}

void ConsoleHost::Complain(const std::string& text)
{
    std::fprintf(out_, "? %s\n", text.c_str());
    std::fflush(out_);
}

void ConsoleHost::CallMethod(const std::string& name, const std::vector<std::string>& words)
{
    auto found = methods_.find(name);
    if (found == methods_.end()) {
        Complain("unknown method " + name);
        return;
    }
    const Method& method = found->second;
    if (words.size() != method.kinds.size() + 1) {
        Complain(name + " takes " + std::to_string(method.kinds.size()) + " arguments");
        return;
    }
    std::vector<Value> arguments;
    for (std::size_t at = 0; at < method.kinds.size(); ++at) {
        const std::string& word = words[at + 1];
        switch (method.kinds[at]) {
        case Kind::Int:
            if (auto number = CommandLine::ParseInt(word)) {
                arguments.emplace_back(*number);
                continue;
            }
            break;
        case Kind::Bool:
            if (auto flag = CommandLine::ParseBool(word)) {
                arguments.emplace_back(*flag);
                continue;
            }
            break;
        case Kind::String:
            arguments.emplace_back(word);
            continue;
        }
        Complain(name + ": argument " + std::to_string(at + 1) + " is not " +
                 (method.kinds[at] == Kind::Int ? "an integer" : "a boolean"));
        return;
    }
    PrintResult(method.call(arguments));
}

void ConsoleHost::WaitFor(const std::vector<std::string>& words)
{
    std::optional<int> timeout = words.size() == 3 ? CommandLine::ParseInt(words[2]) : DefaultWaitForMs;
    if (words.size() < 2 || words.size() > 3 || !timeout) {
        Complain("waitfor takes an event name and an optional time in milliseconds");
        return;
    }
    const std::string& name = words[1];
    auto seen = [&] { return std::find(eventsSinceWait_.begin(), eventsSinceWait_.end(), name); };
    bool arrived = loop_.RunUntil([&] { return seen() != eventsSinceWait_.end(); }, *timeout);
    if (arrived) {
        eventsSinceWait_.erase(eventsSinceWait_.begin(), std::next(seen()));
    } else {
        eventsSinceWait_.clear();
        Complain("timeout " + name);
    }
}

bool ConsoleHost::Execute(const std::string& rawLine)
{
    std::string line = rawLine;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#')
        return true;
    auto words = CommandLine::Split(line);
    if (!words) {
        Complain("unbalanced quotes");
        return true;
    }
    const std::string& command = words->front();
    if (command == "quit")
        return false;
    if (command == "wait") {
        auto milliseconds = words->size() == 2 ? CommandLine::ParseInt((*words)[1]) : std::nullopt;
        if (milliseconds)
            loop_.RunFor(*milliseconds);
        else
            Complain("wait takes a time in milliseconds");
    } else if (command == "waitfor") {
        WaitFor(*words);
    } else {
        CallMethod(command, *words);
    }
    return true;
}

bool ConsoleHost::ProcessInput(std::string& pending, bool endOfInput)
{
    for (std::size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (!Execute(line))
            return false;
    }
    if (endOfInput && !pending.empty()) {
        std::string line;
        line.swap(pending);
        return Execute(line);
    }
    return true;
}

int ConsoleHost::Run(int inputFd)
{
    std::string pending;
    for (bool running = true; running;) {
        pollfd watched[2] = {{inputFd, POLLIN, 0}, {loop_.Descriptor(), POLLIN, 0}};
        if (poll(watched, 2, -1) < 0)
            continue;
        if (watched[1].revents & POLLIN)
            loop_.Dispatch();
        if (watched[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buffer[4096];
            ssize_t got = read(inputFd, buffer, sizeof buffer);
            if (got > 0)
                pending.append(buffer, static_cast<std::size_t>(got));
            running = ProcessInput(pending, got <= 0) && got > 0;
        }
    }
    agent_->UnInitialize();
    while (loop_.Dispatch() > 0) {
    }
    return 0;
}

void ConsoleHost::OnTryingToRegister() { PrintEvent("OnTryingToRegister", {}); }
void ConsoleHost::OnFailToRegister() { PrintEvent("OnFailToRegister", {}); }
void ConsoleHost::OnSuccessToRegister() { PrintEvent("OnSuccessToRegister", {}); }
void ConsoleHost::OnTryingToReRegister() { PrintEvent("OnTryingToReRegister", {}); }
void ConsoleHost::OnFailToReRegister() { PrintEvent("OnFailToReRegister", {}); }
void ConsoleHost::OnSuccessToReRegister() { PrintEvent("OnSuccessToReRegister", {}); }
void ConsoleHost::OnTryingToUnRegister() { PrintEvent("OnTryingToUnRegister", {}); }
void ConsoleHost::OnFailToUnRegister() { PrintEvent("OnFailToUnRegister", {}); }
void ConsoleHost::OnSuccessToUnRegister() { PrintEvent("OnSuccessToUnRegister", {}); }
void ConsoleHost::OnConnecting(int line) { PrintEvent("OnConnecting", {line}); }
void ConsoleHost::OnFailToConnect(int line) { PrintEvent("OnFailToConnect", {line}); }
void ConsoleHost::OnDisconnectCall(int line) { PrintEvent("OnDisconnectCall", {line}); }
void ConsoleHost::OnCallTransferAccepted(int line) { PrintEvent("OnCallTransferAccepted", {line}); }
void ConsoleHost::OnPlayWaveDone(int line) { PrintEvent("OnPlayWaveDone", {line}); }
void ConsoleHost::OnDTMFDigit(int line, const std::string& digit) { PrintEvent("OnDTMFDigit", {line, digit}); }
void ConsoleHost::OnMsgNOTIFY(const std::string& message) { PrintEvent("OnMsgNOTIFY", {message}); }

void ConsoleHost::OnSuccessToConnect(int line, const std::string& rtpIp, int rtpPort)
{
    PrintEvent("OnSuccessToConnect", {line, rtpIp, rtpPort});
}

void ConsoleHost::OnVoiceMailMsg(bool waiting, int newCount, int oldCount, int newUrgent, int oldUrgent,
                                 const std::string& account)
{
    PrintEvent("OnVoiceMailMsg", {waiting, newCount, oldCount, newUrgent, oldUrgent, account});
}

void ConsoleHost::OnIncomingCall(const std::string& callId, const std::string& displayName,
                                 const std::string& userName, const std::string& fromUri, const std::string& toUri)
{
    PrintEvent("OnIncomingCall", {callId, displayName, userName, fromUri, toUri});
}

void ConsoleHost::OnIncomingCallRingingStart(const std::string& callId)
{
    PrintEvent("OnIncomingCallRingingStart", {callId});
}

void ConsoleHost::OnIncomingCallRingingStop(const std::string& callId)
{
    PrintEvent("OnIncomingCallRingingStop", {callId});
}

void ConsoleHost::OnProvisionalResponse(int line, int status, const std::string& reason)
{
    PrintEvent("OnProvisionalResponse", {line, status, reason});
}

void ConsoleHost::OnRedirectionResponse(int line, int status, const std::string& reason, const std::string& contact)
{
    PrintEvent("OnRedirectionResponse", {line, status, reason, contact});
}

void ConsoleHost::OnRequestFailureResponse(int line, int status, const std::string& reason)
{
    PrintEvent("OnRequestFailureResponse", {line, status, reason});
}

void ConsoleHost::OnServerFailureResponse(int line, int status, const std::string& reason)
{
    PrintEvent("OnServerFailureResponse", {line, status, reason});
}

void ConsoleHost::OnGeneralFailureResponse(int line, int status, const std::string& reason)
{
    PrintEvent("OnGeneralFailureResponse", {line, status, reason});
}

void ConsoleHost::OnIncomingDiagnostic(const std::string& message, const std::string& ip, int port)
{
    PrintEvent("OnIncomingDiagnostic", {message, ip, port});
}

void ConsoleHost::OnOutgoingDiagnostic(const std::string& message, const std::string& ip, int port)
{
    PrintEvent("OnOutgoingDiagnostic", {message, ip, port});
}
