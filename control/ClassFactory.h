#pragma once

#include "control/OrvComponent.h"

#include <atomic>

// The control's class object: creates controls and keeps the count of live
// controls and locks that DllCanUnloadNow answers from.
class ClassFactory final : public OrvClassFactory {
public:
    static ClassFactory& Instance();

    OrvResult CreateInstance(const char* interfaceId, void** object) override;
    OrvResult LockServer(bool lock) override;

    static void ObjectCreated() { ++objects_; }
    static void ObjectDestroyed() { --objects_; }
    static bool CanUnloadNow() { return objects_ == 0 && locks_ == 0; }
    // Identifiers in braces compare without regard to case; null matches nothing.
    static bool SameIdentifier(const char* a, const char* b);

private:
    ClassFactory() = default;

    static std::atomic<int> objects_;
    static std::atomic<int> locks_;
};
