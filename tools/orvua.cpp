#include "control/OrvSIPUserAgentOCX.h"
#include "tools/ConsoleHost.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <memory>

namespace {

// A control from the library's class factory, as any host that links the library
// creates one.
std::unique_ptr<OrvSIPUserAgentOCX> CreateControl(OrvResult& result)
{
    void* factory = nullptr;
    result = DllGetClassObject(OrvClassId, OrvClassFactoryInterfaceId, &factory);
    if (result != OrvOk)
        return nullptr;
    void* object = nullptr;
    result = static_cast<OrvClassFactory*>(factory)->CreateInstance(OrvDispatchInterfaceId, &object);
    return std::unique_ptr<OrvSIPUserAgentOCX>(static_cast<OrvSIPUserAgentOCX*>(object));
}

} // namespace

int main()
{
    std::signal(SIGPIPE, SIG_IGN);
    OrvResult result = OrvOk;
    std::unique_ptr<OrvSIPUserAgentOCX> control = CreateControl(result);
    if (control == nullptr) {
        std::fprintf(stderr, "orvua: the control cannot be created (0x%08X)\n", static_cast<unsigned>(result));
        return 1;
    }
    ConsoleHost host(*control, stdout);
    if (isatty(STDIN_FILENO))
        host.Greet();
    return host.Run(STDIN_FILENO);
}
