#include "tools/ConsoleHost.h"

#include "tools/CommandLine.h"
#include "tools/ConsoleHelp.h"

#include <poll.h>
#include <unistd.h>


namespace {

constexpr int DefaultWaitForMs = 5000;

} // namespace

ConsoleHost::ConsoleHost(OrvSIPUserAgentOCX& control, std::FILE* out)
    : control_(control), out_(out), cookie_(control.Advise(this))
{
}

ConsoleHost::~ConsoleHost()
{
    control_.Unadvise(cookie_);
}

std::string ConsoleHost::Format(const OrvValue& value)
{
    if (const bool* flag = std::get_if<bool>(&value))
        return *flag ? "true" : "false";
    if (const int* number = std::get_if<int>(&value))
        return std::to_string(*number);
    if (const std::string* text = std::get_if<std::string>(&value))
        return CommandLine::Quote(*text);
    return {};
}

void ConsoleHost::PrintResult(const OrvValue& value)
{
    std::string text = Format(value);
    std::fprintf(out_, "=%s%s\n", text.empty() ? "" : " ", text.c_str());
    std::fflush(out_);
}

void ConsoleHost::PrintText(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        std::fprintf(out_, "# %s\n", line.c_str());
    std::fprintf(out_, "=\n");
    std::fflush(out_);
}

void ConsoleHost::Complain(const std::string& text)
{
    std::fprintf(out_, "? %s\n", text.c_str());
    std::fflush(out_);
}

void ConsoleHost::Greet()
{
    std::fprintf(out_, "# orvua: one method call per line. Type help for the methods, quit to leave.\n");
    std::fflush(out_);
}

void ConsoleHost::Invoke(int dispId, const std::vector<OrvValue>& arguments)
{
    const OrvMemberInfo* event = OrvFindMember(control_.Events(), dispId);
    if (event == nullptr)
        return;
    std::string line = "! " + event->name;
    for (const OrvValue& argument : arguments) {
        line += ' ';
        line += Format(argument);
    }
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
    history_.Record(event->name);
}

std::optional<std::vector<OrvValue>> ConsoleHost::ParseArguments(const OrvMemberInfo& method,
                                                                 const std::vector<std::string>& words)
{
    std::vector<OrvValue> arguments;
    for (std::size_t at = 0; at < method.parameters.size(); ++at) {
        const std::string& word = words[at + 1];
        switch (method.parameters[at].type) {
        case OrvType::Int:
            if (auto number = CommandLine::ParseInt(word)) {
                arguments.emplace_back(*number);
                continue;
            }
            Complain(method.name + ": argument " + std::to_string(at + 1) + " is not an integer");
            return std::nullopt;
        case OrvType::Bool:
            if (auto flag = CommandLine::ParseBool(word)) {
                arguments.emplace_back(*flag);
                continue;
            }
            Complain(method.name + ": argument " + std::to_string(at + 1) + " is not a boolean");
            return std::nullopt;
        case OrvType::String:
        case OrvType::None:
            arguments.emplace_back(word);
            continue;
        }
    }
    return arguments;
}

void ConsoleHost::CallMethod(const std::string& name, const std::vector<std::string>& words)
{
    const OrvMemberInfo* method = OrvFindMember(control_.Methods(), name);
    if (method == nullptr) {
        Complain("unknown method " + name);
        return;
    }
    if (words.size() != method->parameters.size() + 1) {
        Complain(name + " takes " + std::to_string(method->parameters.size()) + " arguments");
        return;
    }
    auto arguments = ParseArguments(*method, words);
    if (!arguments)
        return;
    OrvValue result;
    OrvResult status = control_.Invoke(method->dispId, *arguments, result);
    if (status != OrvOk) {
        Complain(name + ": the control refused the call");
        return;
    }
    PrintResult(result);
}

void ConsoleHost::Help(const std::vector<std::string>& words)
{
    if (words.size() == 1) {
        PrintText(ConsoleHelp::MethodList(control_.Methods()));
    } else if (words.size() > 2) {
        Complain("help takes an optional method or event name");
    } else if (const OrvMemberInfo* method = OrvFindMember(control_.Methods(), words[1])) {
        PrintText(ConsoleHelp::Describe(*method, false));
    } else if (const OrvMemberInfo* event = OrvFindMember(control_.Events(), words[1])) {
        PrintText(ConsoleHelp::Describe(*event, true));
    } else {
        Complain("unknown method " + words[1]);
    }
}

void ConsoleHost::ListEvents(const std::vector<std::string>& words)
{
    if (words.size() != 1)
        Complain("events takes no arguments");
    else
        PrintText(ConsoleHelp::EventList(control_.Events()));
}

void ConsoleHost::Wait(const std::vector<std::string>& words)
{
    auto milliseconds = words.size() == 2 ? CommandLine::ParseInt(words[1]) : std::nullopt;
    if (milliseconds)
        control_.RunFor(*milliseconds);
    else
        Complain("wait takes a time in milliseconds");
}

void ConsoleHost::WaitFor(const std::vector<std::string>& words)
{
    std::optional<int> timeout = words.size() == 3 ? CommandLine::ParseInt(words[2]) : DefaultWaitForMs;
    if (words.size() < 2 || words.size() > 3 || !timeout) {
        Complain("waitfor takes an event name and an optional time in milliseconds");
        return;
    }
    const std::string& name = words[1];
    if (!control_.RunUntil([&] { return history_.Consume(name); }, *timeout)) {
        history_.Clear();
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
    if (command == "wait")
        Wait(*words);
    else if (command == "waitfor")
        WaitFor(*words);
    else if (command == "help")
        Help(*words);
    else if (command == "events")
        ListEvents(*words);
    else
        CallMethod(command, *words);
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
        pollfd watched[2] = {{inputFd, POLLIN, 0}, {control_.EventDescriptor(), POLLIN, 0}};
        if (poll(watched, 2, -1) < 0)
            continue;
        if (watched[1].revents & POLLIN)
            control_.DispatchEvents();
        if (watched[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buffer[4096];
            ssize_t got = read(inputFd, buffer, sizeof buffer);
            if (got > 0)
                pending.append(buffer, static_cast<std::size_t>(got));
            running = ProcessInput(pending, got <= 0) && got > 0;
        }
    }
    control_.UnInitialize();
    while (control_.DispatchEvents() > 0) {
    }
    return 0;
}
