#pragma once

#include "cti/CtiPhone.h"

#include <string>
#include <string_view>
#include <vector>

enum class CtiTransport { TextFile, Socket };

// The CTI commands, one table for running them, for the socket's help and for the
// tests. Names compare exactly, case included.
class CtiCommandTable {
public:
    struct Command {
        std::string_view name;
        // What the parameter is ("number", "digits"); empty when the command takes none.
        // On the socket a command with a parameter refuses to run without one.
        std::string_view parameter;
        std::string_view help;
        // Status exists on the socket only and answers with the snapshot.
        bool socketOnly;
        CtiOutcome (*run)(CtiPhone& phone, const std::string& parameter);
    };

    static const std::vector<Command>& Commands();
    // The command of that exact name on that transport, or nullptr.
    static const Command* Find(std::string_view name, CtiTransport transport);
    static bool IsStatus(const Command& command);
};
