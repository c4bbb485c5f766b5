#pragma once

#include "control/OrvSIPUserAgentOCX.h"
#include "tools/EventHistory.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// orvua: a console host of the control. It runs one method call per input line,
// by name through the control's dispatch interface, and prints one line per result
// and per event; `help` and `events` describe what it can run.
class ConsoleHost : public OrvSIPUserAgentOCXEvents {
public:
    ConsoleHost(OrvSIPUserAgentOCX& control, std::FILE* out);
    ~ConsoleHost() override;
    ConsoleHost(const ConsoleHost&) = delete;
    ConsoleHost& operator=(const ConsoleHost&) = delete;

    // Runs one input line; false after "quit".
    bool Execute(const std::string& line);
    // Reads the input while the control's loop keeps running; returns at end of
    // input or "quit", after UnInitialize and the events it queued.
    int Run(int inputFd);
    // A one-line greeting for a user at a terminal.
    void Greet();

    // Every event of the control, printed as "! Name arguments".
    void Invoke(int dispId, const std::vector<OrvValue>& arguments) override;

private:
    void CallMethod(const std::string& name, const std::vector<std::string>& words);
    std::optional<std::vector<OrvValue>> ParseArguments(const OrvMemberInfo& method,
                                                        const std::vector<std::string>& words);
    void Wait(const std::vector<std::string>& words);
    void WaitFor(const std::vector<std::string>& words);
    void Help(const std::vector<std::string>& words);
    void ListEvents(const std::vector<std::string>& words);
    bool ProcessInput(std::string& pending, bool endOfInput);
    void PrintResult(const OrvValue& value);
    // Text lines of a console command, "# " before each, then a lone "=".
    void PrintText(const std::vector<std::string>& lines);
    void Complain(const std::string& text);
    static std::string Format(const OrvValue& value);

    OrvSIPUserAgentOCX& control_;
    std::FILE* out_;
    int cookie_;
    EventHistory history_;
};
