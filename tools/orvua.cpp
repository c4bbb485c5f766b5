#include "control/OrvSIPUserAgentOCX.h"
#include "platform/ProgramOptions.h"
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

std::string Help()
{
    return "Usage: orvua [--help | --version]\n"
           "The console host of the SIP user agent: one method call per line on standard\n"
           "input, one line per result and per event on standard output. Type \"help\" for\n"
           "the methods, \"events\" for the events, \"quit\" to leave.\n"
           "\n"
           "Files: none of its own; the methods name the files they read and write\n"
           "(WAV files played into calls, recordings).\n"
           "\n"
           "Environment:\n" +
           ProgramOptions::UserAgentEnvironment();
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> answered = ProgramOptions::Answer(argc, argv, "orvua", Help()))
        return *answered;
    if (argc > 1) {
        std::fprintf(stderr, "orvua: unknown argument %s (orvua --help shows the usage)\n", argv[1]);
        return 2;
    }
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
