// orvregister: registers the control library in the per-user component registry, or
// removes it, as a host that knows only the ProgID needs.
//
//   orvregister [-u] [LIBRARY]
//
// Without LIBRARY it registers the library it was built with; with a path it loads
// that library and calls its own registration functions.

#include "control/OrvComponent.h"
#include "platform/ComponentRegistry.h"
#include "platform/ProgramOptions.h"
#include "platform/SharedLibrary.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using Entry = OrvResult (*)();

const char* const kUsage = "usage: orvregister [-u] [LIBRARY]\n";

int Usage()
{
    std::fputs(kUsage, stderr);
    return 2;
}

std::string Help()
{
    return std::string(kUsage) +
           "Registers the SIP user agent control for hosts that create it by its ProgID\n"
           "or class identifier: the library orvregister was built with, or LIBRARY.\n"
           "  -u          remove the registration instead\n"
           "  --help      show this text\n"
           "  --version   show the version\n"
           "\n"
           "Files:\n"
           "  $XDG_CONFIG_HOME/orvsip/components.ini   the registry it writes\n"
           "                                           (~/.config/orvsip/components.ini)\n"
           "\n"
           "Environment:\n"
           "  XDG_CONFIG_HOME   folder of the registry (default ~/.config)\n"
           "  HOME              home folder, for the default\n";
}

int Report(OrvResult result, bool unregister, const std::string& library)
{
    const char* action = unregister ? "unregistered" : "registered";
    if (result != OrvOk) {
        std::fprintf(stderr, "orvregister: %s failed with 0x%08X (registry %s)\n",
                     unregister ? "DllUnregisterServer" : "DllRegisterServer", static_cast<unsigned>(result),
                     ComponentRegistry::DefaultPath().c_str());
        return 1;
    }
    ComponentRegistry registry;
    const std::string registered = unregister || !registry.Load()
                                       ? library
                                       : registry.Value(std::string("CLSID\\") + OrvClassId, "InprocServer32");
    std::printf("orvregister: %s %s in %s\n", action, registered.c_str(), registry.Path().c_str());
    return 0;
}

int RegisterLinked(bool unregister)
{
    std::string library = SharedLibrary::PathOf(reinterpret_cast<const void*>(&DllRegisterServer));
    return Report(unregister ? DllUnregisterServer() : DllRegisterServer(), unregister, library);
}

int RegisterFile(const std::string& path, bool unregister)
{
    SharedLibrary library;
    if (!library.Open(path)) {
        std::fprintf(stderr, "orvregister: %s\n", library.Error().c_str());
        return 1;
    }
    auto entry = reinterpret_cast<Entry>(library.Symbol(unregister ? "DllUnregisterServer" : "DllRegisterServer"));
    if (entry == nullptr) {
        std::fprintf(stderr, "orvregister: %s has no registration functions\n", path.c_str());
        return 1;
    }
    return Report(entry(), unregister, path);
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> answered = ProgramOptions::Answer(argc, argv, "orvregister", Help()))
        return *answered;
    bool unregister = false;
    int at = 1;
    if (at < argc && std::strcmp(argv[at], "-u") == 0) {
        unregister = true;
        ++at;
    }
    if (argc - at > 1 || (at < argc && argv[at][0] == '-'))
        return Usage();
    return at < argc ? RegisterFile(argv[at], unregister) : RegisterLinked(unregister);
}
