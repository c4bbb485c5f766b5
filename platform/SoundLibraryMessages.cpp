#include "platform/SoundLibraryMessages.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

void IgnoreJackMessage(const char*) {}

} // namespace

bool SoundLibraryMessages::DebugRequested()
{
    const char* debug = std::getenv("ORVSIP_DEBUG");
    return debug != nullptr && std::strcmp(debug, "1") == 0;
}

void SoundLibraryMessages::Configure()
{
    static std::once_flag configured;
    std::call_once(configured, [] {
        if (DebugRequested())
            return;
        snd_lib_error_set_handler(IgnoreAlsaMessage);
        jack_set_error_function(IgnoreJackMessage);
        jack_set_info_function(IgnoreJackMessage);
    });
}
