#include "cti/CtiProtocol.h"

#include "cti/ControlErrorTable.h"

namespace {

constexpr std::size_t kMaxEchoedCommand = 32;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool HasControlCharacters(std::string_view text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return true;
    }
    return false;
}

} // namespace

CtiProtocol::Request CtiProtocol::Interpret(std::string_view line)
{
    line = Trim(line);
    Request request;
    if (line.empty())
        return request;
    const std::size_t blank = line.find_first_of(" \t");
    const std::string_view name = line.substr(0, blank);
    const std::string_view parameter = blank == std::string_view::npos ? "" : Trim(line.substr(blank));
    const CtiCommandTable::Command* command = CtiCommandTable::Find(name, CtiTransport::Socket);
    if (command == nullptr)
        request.refusal = Error(name, kUnknownCommand);
    else if (!command->parameter.empty() && parameter.empty())
        request.refusal = Error(name, kMissingParameter);
    else if (HasControlCharacters(parameter))
        request.refusal = Error(name, kControlCharacters);
    else {
        request.command = command;
        request.parameter = std::string(parameter);
    }
    return request;
}

std::string CtiProtocol::Ok(std::string_view command)
{
    return "OK " + Echo(command);
}

std::string CtiProtocol::Error(std::string_view command, int code)
{
    return "ERROR " + Echo(command) + " " + std::to_string(code) + " " + MessageFor(code);
}

std::string CtiProtocol::MessageFor(int code)
{
    switch (code) {
    case kUnknownCommand:
        return "Unknown command.";
    case kMissingParameter:
        return "The command needs a parameter.";
    case kLineTooLong:
        return "The line is longer than " + std::to_string(kMaxLineBytes) + " bytes.";
    case kClosingCancelled:
        return "Closing was cancelled.";
    case kControlCharacters:
        return "The parameter holds control characters.";
    case kTooManyClients:
        return "Too many clients.";
    case kNotASipUri:
        return "The number is not a valid SIP URI.";
    default:
        return ControlErrorTable::ReplyMessageFor(code);
    }
}

std::string CtiProtocol::LineTooLong()
{
    return Error("", kLineTooLong);
}

std::string CtiProtocol::TooManyClients()
{
    return Error("", kTooManyClients);
}

// A command name is echoed only when it is a short printable word: whatever else a
// client sent must not come back as part of the protocol.
std::string CtiProtocol::Echo(std::string_view command)
{
    if (command.empty() || command.size() > kMaxEchoedCommand)
        return "-";
    for (const char c : command) {
        if (c <= ' ' || c > '~')
            return "-";
    }
    return std::string(command);
}

std::string CtiProtocol::Field(std::string_view text)
{
    std::string field(text);
    for (char& c : field) {
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    }
    return field;
}

std::string CtiProtocol::Fields(std::initializer_list<std::string_view> fields)
{
    std::string line;
    for (const std::string_view field : fields) {
        if (!line.empty())
            line += '\t';
        line += Field(field);
    }
    return line;
}

std::string CtiProtocol::Event(const CtiEventQueue::Record& record)
{
    return Fields({"EVENT", record.command, record.parameter, record.message});
}

std::string CtiProtocol::Failure(int statusCode, std::string_view reason, std::string_view contact)
{
    return Fields({"FAILURE", std::to_string(statusCode), reason, contact});
}

std::string CtiProtocol::Quality(std::string_view figures)
{
    return Fields({"QUALITY", figures});
}

std::vector<std::string> CtiProtocol::Snapshot(const CtiSnapshot& snapshot)
{
    std::vector<std::string> lines;
    lines.push_back(Fields({"SNAPSHOT", "REGISTRATION", snapshot.registration}));
    lines.push_back(Fields({"SNAPSHOT", "LINE", snapshot.line}));
    for (const CtiPendingCall& call : snapshot.pending)
        lines.push_back(Fields({"SNAPSHOT", "PENDING", call.callId, call.caller}));
    lines.push_back(Fields({"SNAPSHOT", "PEER", snapshot.peer, snapshot.codec}));
    if (!snapshot.quality.empty())
        lines.push_back(Fields({"SNAPSHOT", "QUALITY", snapshot.quality}));
    const CtiEventQueue::Record& error = snapshot.lastError;
    lines.push_back(Fields({"SNAPSHOT", "LASTERROR", error.command, error.parameter, error.message}));
    lines.push_back(Fields({"SNAPSHOT", "END"}));
    return lines;
}
