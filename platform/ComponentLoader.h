#pragma once

#include <cstdint>
#include <string>

class ComponentRegistry;

// Creates class objects the way a host that knows only a component's name does:
// the registry gives the class identifier and library of a ProgID or a class
// identifier, the library is loaded and its DllGetClassObject asked.
class ComponentLoader {
public:
    // The component functions' result codes used here.
    static constexpr std::uint32_t Ok = 0;
    static constexpr std::uint32_t ClassNotRegistered = 0x80040154;
    static constexpr std::uint32_t LibraryNotFound = 0x800401F8;
    static constexpr std::uint32_t ErrorInLibrary = 0x800401F9;
    static constexpr std::uint32_t InvalidPointer = 0x80004003;

    // The signature of a component library's DllGetClassObject.
    using GetClassObjectFunction = std::uint32_t (*)(const char* classId, const char* interfaceId, void** object);

    // Resolves a ProgID or a class identifier ("{…}") to the class identifier and
    // the library path; false when the registry does not know it.
    static bool Resolve(const ComponentRegistry& registry, const std::string& name, std::string& classId,
                        std::string& library);

    // The class object of the registered component, from the registry file at its
    // default place. Libraries stay loaded for the rest of the process.
    static std::uint32_t GetClassObject(const std::string& name, const char* interfaceId, void** object);
};
