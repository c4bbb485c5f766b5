#pragma once

#include "control/OrvDispatch.h"

#include <string>
#include <vector>

// The text of orvua's `help` and `events` commands, made from the control's own
// method and event tables so that it cannot drift from what the dispatcher runs.
class ConsoleHelp {
public:
    // Every method with its parameter names, in the order a call is typed.
    static std::vector<std::string> MethodList(const std::vector<OrvMemberInfo>& methods);
    // Every event with its parameter names, as orvua prints them.
    static std::vector<std::string> EventList(const std::vector<OrvMemberInfo>& events);
    // One method or event: its parameters with their kinds, its result and its help.
    static std::vector<std::string> Describe(const OrvMemberInfo& member, bool isEvent);

private:
    static std::string Signature(const OrvMemberInfo& member);
    static std::vector<std::string> SortedSignatures(const std::vector<OrvMemberInfo>& members);
    static const char* TypeName(OrvType type);
};
