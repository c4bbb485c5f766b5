// The library's component entry points.

#include "control/ClassFactory.h"
#include "control/ControlRegistration.h"
#include "control/OrvSIPUserAgentOCX.h"
#include "platform/ComponentLoader.h"
#include "platform/ComponentRegistry.h"
#include "platform/SharedLibrary.h"

namespace {

// The library under its SONAME when that name leads to this very file: a later
// release of the same major version keeps the name, not the file.
std::string ThisLibraryPath()
{
    const std::string file = SharedLibrary::PathOf(reinterpret_cast<const void*>(&DllGetClassObject));
    const std::string bySoname = file.substr(0, file.rfind('/') + 1) + ORVSIP_SONAME;
    return SharedLibrary::SameFile(bySoname, file) ? bySoname : file;
}

} // namespace

OrvResult DllGetClassObject(const char* classId, const char* interfaceId, void** object)
{
    if (object == nullptr)
        return OrvInvalidPointer;
    *object = nullptr;
    if (!ClassFactory::SameIdentifier(classId, OrvClassId))
        return OrvClassNotAvailable;
    if (!ClassFactory::SameIdentifier(interfaceId, OrvClassFactoryInterfaceId) &&
        !ClassFactory::SameIdentifier(interfaceId, OrvUnknownInterfaceId))
        return OrvNoInterface;
    *object = static_cast<OrvClassFactory*>(&ClassFactory::Instance());
    return OrvOk;
}

OrvResult DllCanUnloadNow()
{
    return ClassFactory::CanUnloadNow() ? OrvOk : OrvFalse;
}

OrvResult DllRegisterServer()
{
    ComponentRegistry registry;
    return ControlRegistration::Register(registry, ThisLibraryPath());
}

OrvResult DllUnregisterServer()
{
    ComponentRegistry registry;
    return ControlRegistration::Unregister(registry);
}

OrvResult OrvCreateInstance(const std::string& progIdOrClassId, std::unique_ptr<OrvSIPUserAgentOCX>& object)
{
    object.reset();
    void* factory = nullptr;
    OrvResult result = ComponentLoader::GetClassObject(progIdOrClassId, OrvClassFactoryInterfaceId, &factory);
    if (result != OrvOk)
        return result;
    void* created = nullptr;
    result = static_cast<OrvClassFactory*>(factory)->CreateInstance(OrvDispatchInterfaceId, &created);
    if (result == OrvOk)
        object.reset(static_cast<OrvSIPUserAgentOCX*>(created));
    return result;
}
