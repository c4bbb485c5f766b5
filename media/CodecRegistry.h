#pragma once

#include "media/CodecInstance.h"

#include <array>
#include <memory>

// The codec implementations the codec engine can open, by identifier.
class CodecRegistry {
public:
    static constexpr int Capacity = 34;
    static constexpr int G729Identifier = 19;
    static constexpr int G729AIdentifier = 20;

    // Opens `direction` (0 encode, 1 decode); `result` gets 0 or the failure.
    using Opener = std::unique_ptr<CodecInstance> (*)(int direction, int& result);

    struct Entry {
        const char* name = nullptr;
        const char* rate = nullptr;
        Opener open = nullptr;
    };

    // The registry, filled on first use.
    static const CodecRegistry& Instance();
    // The entry of `identifier`; nullptr when nothing implements it.
    const Entry* Find(int identifier) const;

private:
    CodecRegistry();
    void Register(int identifier, const Entry& entry);

    std::array<Entry, Capacity> entries_{};
};
