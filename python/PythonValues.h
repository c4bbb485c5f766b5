#pragma once

#include <OrvDispatch.h>

#include <pybind11/pybind11.h>

#include <string>
#include <vector>

// The control's values as Python values: BOOL as bool, I4 as int, BSTR as str. Text
// is UTF-8; bytes that are not UTF-8 (a peer's datagram may hold any) travel as
// surrogate escapes both ways, so a Call-ID read from an event is handed back intact.
class PythonValues {
public:
    // The arguments of a call of `member`, by position or by parameter name. A call
    // that does not fit raises TypeError starting with the member's signature; an int
    // beyond 32 bits raises OverflowError.
    static std::vector<OrvValue> Bind(const OrvMemberInfo& member, const pybind11::tuple& args,
                                      const pybind11::dict& kwargs);
    static pybind11::object ToPython(const OrvValue& value);
    static pybind11::tuple ToPython(const std::vector<OrvValue>& values);
    // For example "Connect(LineNo: int, ToURI: str, InputDeviceId: int, OutputDeviceId: int) -> bool".
    static std::string Signature(const OrvMemberInfo& member);
    // bool, int, str, or None for a method without a result.
    static pybind11::object TypeObject(OrvType type);

private:
    static OrvValue ToValue(const OrvMemberInfo& member, const OrvParameter& parameter, pybind11::handle given);
    static const char* TypeName(OrvType type);
    static std::size_t IndexOfParameter(const OrvMemberInfo& member, const std::string& name);
};
