#include "platform/ComponentLoader.h"

#include "platform/ComponentRegistry.h"
#include "platform/SharedLibrary.h"

bool ComponentLoader::Resolve(const ComponentRegistry& registry, const std::string& name, std::string& classId,
                              std::string& library)
{
    classId = name.starts_with("{") ? name : registry.Value("ProgID\\" + name, "CLSID");
    if (classId.empty())
        return false;
    library = registry.Value("CLSID\\" + classId, "InprocServer32");
    return !library.empty();
}

std::uint32_t ComponentLoader::GetClassObject(const std::string& name, const char* interfaceId, void** object)
{
    if (object == nullptr)
        return InvalidPointer;
    *object = nullptr;
    ComponentRegistry registry;
    std::string classId;
    std::string library;
    if (!registry.Load() || !Resolve(registry, name, classId, library))
        return ClassNotRegistered;
    SharedLibrary loaded;
    if (!loaded.Open(library, true))
        return LibraryNotFound;
    auto getClassObject = reinterpret_cast<GetClassObjectFunction>(loaded.Symbol("DllGetClassObject"));
    if (getClassObject == nullptr)
        return ErrorInLibrary;
    return getClassObject(classId.c_str(), interfaceId, object);
}
