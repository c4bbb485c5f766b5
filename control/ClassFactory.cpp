#include "control/ClassFactory.h"

#include "control/OrvSIPUserAgentOCX.h"

#include <strings.h>

#include <new>

std::atomic<int> ClassFactory::objects_{0};
std::atomic<int> ClassFactory::locks_{0};

ClassFactory& ClassFactory::Instance()
{
    static ClassFactory factory;
    return factory;
}

bool ClassFactory::SameIdentifier(const char* a, const char* b)
{
    return a != nullptr && b != nullptr && strcasecmp(a, b) == 0;
}

OrvResult ClassFactory::CreateInstance(const char* interfaceId, void** object)
{
    if (object == nullptr)
        return OrvInvalidPointer;
    *object = nullptr;
    if (!SameIdentifier(interfaceId, OrvDispatchInterfaceId) && !SameIdentifier(interfaceId, OrvUnknownInterfaceId))
        return OrvNoInterface;
    // Nothing may escape into the host: a control that cannot be built is a failure code.
    try {
        *object = new OrvSIPUserAgentOCX();
    } catch (const std::exception&) {
        return OrvFail;
    }
    return OrvOk;
}

OrvResult ClassFactory::LockServer(bool lock)
{
    if (lock)
        ++locks_;
    else if (locks_ > 0)
        --locks_;
    return OrvOk;
}
