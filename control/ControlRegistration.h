#pragma once

#include "control/OrvDispatch.h"

#include <string>

class ComponentRegistry;

// The control's entries in the per-user component registry: the type library with
// its dispatch and event interfaces, then the class with its ProgID.
class ControlRegistration {
public:
    // OrvOk, OrvSelfRegTypeLib when the registry cannot be read or written (nothing
    // is registered then), OrvSelfRegClass when the library's path is unknown (the
    // registry is left as it was).
    static OrvResult Register(ComponentRegistry& registry, const std::string& libraryPath);
    // Removes both; OrvSelfRegTypeLib when the registry cannot be read or written.
    static OrvResult Unregister(ComponentRegistry& registry);

private:
    static void AddTypeLibrary(ComponentRegistry& registry, const std::string& libraryPath);
    static void AddClass(ComponentRegistry& registry, const std::string& libraryPath);
    static bool RemoveTypeLibrary(ComponentRegistry& registry);
    static bool RemoveClass(ComponentRegistry& registry);
};
