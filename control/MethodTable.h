#pragma once

#include "control/OrvDispatch.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

class OrvSIPUserAgentOCX;

// The dispatch interface's methods: for each its dispatch identifier, name,
// parameters, result and help, and the call into the control's member function.
// Dispatch by identifier, look-up by name, the console host's help and the
// language bindings all read this one table.
class MethodTable {
public:
    using Arguments = std::vector<OrvValue>;

    static const MethodTable& Instance();

    // In dispatch identifier order.
    const std::vector<OrvMemberInfo>& Methods() const { return methods_; }
    // -1 for a name no method has (names are compared exactly).
    int IdOfName(const std::string& name) const;
    // Checks the number and kinds of the arguments, then calls the method.
    OrvResult Invoke(OrvSIPUserAgentOCX& control, int dispId, const Arguments& arguments, OrvValue& result) const;

private:
    using Call = std::function<OrvValue(OrvSIPUserAgentOCX&, const Arguments&)>;

    MethodTable();
    template <typename R, typename... P>
    void Add(int dispId, const char* name, R (OrvSIPUserAgentOCX::*method)(P...),
             const std::array<const char*, sizeof...(P)>& parameterNames, const char* help);
    std::size_t IndexOf(int dispId) const;

    std::vector<OrvMemberInfo> methods_;
    std::vector<Call> calls_;
};
