#include "control/ControlRegistration.h"

#include "control/OrvComponent.h"
#include "platform/ComponentRegistry.h"

namespace {

constexpr char TypeLibraryName[] = "ORVSIPUSERAGENTOCXLib";
constexpr char ControlName[] = "OrvSIPUserAgentOCX Control";

std::string Key(const char* kind, const std::string& identifier)
{
    return std::string(kind) + "\\" + identifier;
}

} // namespace

void ControlRegistration::AddTypeLibrary(ComponentRegistry& registry, const std::string& libraryPath)
{
    registry.SetKey(Key("TypeLib", OrvTypeLibraryId),
                    {{"Name", TypeLibraryName}, {"Version", "1.0"}, {"Language", "1033"}, {"Path", libraryPath}});
    registry.SetKey(Key("Interface", OrvDispatchInterfaceId),
                    {{"Name", "_DOrvSIPUserAgentOCX"},
                     {"Doc", "Dispatch interface for OrvSIPUserAgentOCX Control"},
                     {"TypeLib", OrvTypeLibraryId}});
    registry.SetKey(Key("Interface", OrvEventInterfaceId),
                    {{"Name", "_DOrvSIPUserAgentOCXEvents"},
                     {"Doc", "Event interface for OrvSIPUserAgentOCX Control"},
                     {"TypeLib", OrvTypeLibraryId}});
}

void ControlRegistration::AddClass(ComponentRegistry& registry, const std::string& libraryPath)
{
    registry.SetKey(Key("CLSID", OrvClassId), {{"Name", ControlName},
                                               {"ProgID", OrvProgId},
                                               {"InprocServer32", libraryPath},
                                               {"ThreadingModel", "Apartment"},
                                               {"TypeLib", OrvTypeLibraryId},
                                               {"Version", "1.0"},
                                               {"MiscStatus", "0x20091"},
                                               {"Coclass", "OrvSIPUserAgentOCX"},
                                               {"Control", "1"}});
    registry.SetKey(Key("ProgID", OrvProgId), {{"Name", ControlName}, {"CLSID", OrvClassId}});
}

bool ControlRegistration::RemoveTypeLibrary(ComponentRegistry& registry)
{
    bool removed = registry.RemoveKey(Key("TypeLib", OrvTypeLibraryId));
    removed = registry.RemoveKey(Key("Interface", OrvDispatchInterfaceId)) || removed;
    return registry.RemoveKey(Key("Interface", OrvEventInterfaceId)) || removed;
}

bool ControlRegistration::RemoveClass(ComponentRegistry& registry)
{
    bool removed = registry.RemoveKey(Key("CLSID", OrvClassId));
    return registry.RemoveKey(Key("ProgID", OrvProgId)) || removed;
}

OrvResult ControlRegistration::Register(ComponentRegistry& registry, const std::string& libraryPath)
{
    if (!registry.Load())
        return OrvSelfRegTypeLib;
    if (libraryPath.empty() || libraryPath.front() != '/')
        return OrvSelfRegClass;
    AddTypeLibrary(registry, libraryPath);
    AddClass(registry, libraryPath);
    // One write for both: an unwritable registry ends with neither registered.
    return registry.Save() ? OrvOk : OrvSelfRegTypeLib;
}

OrvResult ControlRegistration::Unregister(ComponentRegistry& registry)
{
    if (!registry.Load())
        return OrvSelfRegTypeLib;
    bool changed = RemoveTypeLibrary(registry);
    changed = RemoveClass(registry) || changed;
    if (!changed)
        return OrvOk;
    return registry.Save() ? OrvOk : OrvSelfRegTypeLib;
}
