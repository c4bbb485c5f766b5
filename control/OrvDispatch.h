#pragma once

// The dispatch vocabulary of the control: the values that cross its methods and
// events, the description of each member, and the result codes.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#if defined(__GNUC__)
#define ORV_EXPORT __attribute__((visibility("default")))
#else
#define ORV_EXPORT
#endif

// A value of a method call or an event: nothing (a method without a result), a
// BOOL, an I4 or a BSTR.
using OrvValue = std::variant<std::monostate, bool, int, std::string>;

// The kind of a parameter or a result: the index of its alternative in OrvValue.
enum class OrvType { None = 0, Bool = 1, Int = 2, String = 3 };

struct OrvParameter {
    std::string name;
    OrvType type;
};

// One method of the dispatch interface or one event of the event interface.
struct OrvMemberInfo {
    int dispId;
    std::string name;
    std::vector<OrvParameter> parameters;
    OrvType result; // None for events and for methods without a result
    std::string help;
};

// The member of a list from Methods() or Events() with that dispatch identifier, or
// with that name (compared exactly); nullptr when none has it.
inline const OrvMemberInfo* OrvFindMember(const std::vector<OrvMemberInfo>& members, int dispId)
{
    for (const OrvMemberInfo& member : members) {
        if (member.dispId == dispId)
            return &member;
    }
    return nullptr;
}

inline const OrvMemberInfo* OrvFindMember(const std::vector<OrvMemberInfo>& members, const std::string& name)
{
    for (const OrvMemberInfo& member : members) {
        if (member.name == name)
            return &member;
    }
    return nullptr;
}

// Result codes of the dispatch and component functions (the HRESULT values).
using OrvResult = std::uint32_t;
inline constexpr OrvResult OrvOk = 0;
inline constexpr OrvResult OrvFalse = 1;
inline constexpr OrvResult OrvMemberNotFound = 0x80020003;
inline constexpr OrvResult OrvTypeMismatch = 0x80020005;
inline constexpr OrvResult OrvBadParameterCount = 0x8002000E;
inline constexpr OrvResult OrvNoInterface = 0x80004002;
inline constexpr OrvResult OrvInvalidPointer = 0x80004003;
inline constexpr OrvResult OrvFail = 0x80004005;
inline constexpr OrvResult OrvClassNotAvailable = 0x80040111;
inline constexpr OrvResult OrvClassNotRegistered = 0x80040154;
inline constexpr OrvResult OrvLibraryNotFound = 0x800401F8;
inline constexpr OrvResult OrvErrorInLibrary = 0x800401F9;
inline constexpr OrvResult OrvSelfRegTypeLib = 0x80040200;
inline constexpr OrvResult OrvSelfRegClass = 0x80040201;
