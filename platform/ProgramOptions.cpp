#include "platform/ProgramOptions.h"

#include <cstring>

std::optional<int> ProgramOptions::Answer(int argc, char** argv, const std::string& program, const std::string& help,
                                          std::FILE* out)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(help.c_str(), out);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fprintf(out, "%s %s\n", program.c_str(), Version().c_str());
            return 0;
        }
    }
    return std::nullopt;
}

std::string ProgramOptions::Version()
{
    return ORVSIP_VERSION;
}

std::string ProgramOptions::UserAgentEnvironment()
{
    return "  ORVSIP_LOCAL_ADDRESS   the local IPv4 address to use (with several interfaces)\n"
           "  ORVSIP_AUDIO           sound back end: portaudio or virtual (default: portaudio\n"
           "                         when it finds a device)\n"
           "  ORVSIP_VIRTUAL_MIC     sound file the virtual microphone plays in a loop\n"
           "  ORVSIP_VIRTUAL_SPEAKER WAV file the virtual speaker writes\n"
           "  ORVSIP_VIRTUAL_ECHO    DELAY_MS,ATTENUATION_DB: the virtual microphone hears\n"
           "                         the virtual speaker\n"
           "  ORVSIP_DNS_SERVER      ADDRESS[:PORT] of the DNS server to ask instead of the\n"
           "                         system's\n"
           "  ORVSIP_DEBUG           1 lets the sound libraries' messages through\n"
           "  TMPDIR                 folder of recordings in progress (default /tmp)\n";
}
