#include "sipsyntax/OsipLibrary.h"

#include <osipparser2/osip_parser.h>
#include <osipparser2/osip_port.h>

#include <mutex>

namespace {

void Discard(const char*, int, osip_trace_level_t, const char*, va_list)
{
}

} // namespace

void OsipLibrary::Prepare()
{
    static std::once_flag once;
    std::call_once(once, [] {
        parser_init();
        osip_trace_initialize_func(TRACE_LEVEL0, Discard);
        for (int level = TRACE_LEVEL0; level < END_TRACE_LEVEL; ++level)
            osip_trace_disable_level(static_cast<osip_trace_level_t>(level));
    });
}
