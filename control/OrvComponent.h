#pragma once

// The component identity of the control and the entry points of its library: the
// class factory, unloading and the per-user registration (written to
// $XDG_CONFIG_HOME/orvsip/components.ini, ~/.config by default).

#include "OrvDispatch.h"

#include <memory>
#include <string>

class OrvSIPUserAgentOCX;

inline constexpr char OrvClassId[] = "{2935849A-3F6A-4DF8-8395-CF9AB3BE1835}";
inline constexpr char OrvProgId[] = "ORVSIPUSERAGENTOCX.OrvSIPUserAgentOCXCtrl.1";
inline constexpr char OrvTypeLibraryId[] = "{148188FB-A6D9-48BC-AE37-65786376CD8E}";
// The dispatch interface _DOrvSIPUserAgentOCX: what CreateInstance hands out.
inline constexpr char OrvDispatchInterfaceId[] = "{9858F01E-3474-40B6-996B-7867195B6A6C}";
// The event interface _DOrvSIPUserAgentOCXEvents (OrvSIPUserAgentOCXEvents).
inline constexpr char OrvEventInterfaceId[] = "{747FAA95-5D00-4EA1-9F1F-035D2A88FDA4}";
inline constexpr char OrvUnknownInterfaceId[] = "{00000000-0000-0000-C000-000000000046}";
inline constexpr char OrvClassFactoryInterfaceId[] = "{00000001-0000-0000-C000-000000000046}";

// The class object of the control, from DllGetClassObject. It lives as long as the
// library; it is never deleted by the host.
class ORV_EXPORT OrvClassFactory {
public:
    // A new control (an OrvSIPUserAgentOCX*, deleted by the host) for the dispatch
    // or the unknown interface; OrvNoInterface for any other.
    virtual OrvResult CreateInstance(const char* interfaceId, void** object) = 0;
    // While locked, DllCanUnloadNow answers OrvFalse.
    virtual OrvResult LockServer(bool lock) = 0;

protected:
    ~OrvClassFactory() = default;
};

extern "C" {
// The class factory for OrvClassId with OrvClassFactoryInterfaceId (or the unknown
// interface): OrvOk, OrvClassNotAvailable, OrvNoInterface or OrvInvalidPointer.
ORV_EXPORT OrvResult DllGetClassObject(const char* classId, const char* interfaceId, void** object);
// OrvOk when no control of this library is alive and the factory is not locked.
ORV_EXPORT OrvResult DllCanUnloadNow();
// Registers the type library, then the class (with this library's path): OrvOk,
// OrvSelfRegTypeLib or OrvSelfRegClass. Nothing is half registered.
ORV_EXPORT OrvResult DllRegisterServer();
// Removes both registrations, in the same order and with the same codes.
ORV_EXPORT OrvResult DllUnregisterServer();
}

// Creates a control by ProgID or class identifier through the per-user registry,
// loading the registered library: OrvOk, OrvClassNotRegistered, OrvLibraryNotFound,
// OrvErrorInLibrary or a class factory's code.
ORV_EXPORT OrvResult OrvCreateInstance(const std::string& progIdOrClassId, std::unique_ptr<OrvSIPUserAgentOCX>& object);
