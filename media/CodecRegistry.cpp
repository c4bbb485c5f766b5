#include "media/CodecRegistry.h"

#include "media/G729Instance.h"

const CodecRegistry& CodecRegistry::Instance()
{
    static const CodecRegistry registry;
    return registry;
}

CodecRegistry::CodecRegistry()
{
    Register(G729Identifier, {"audio/G729", "8KBPS", G729Instance::Open});
    Register(G729AIdentifier, {"audio/G729A", "8KBPS", G729Instance::Open});
}

void CodecRegistry::Register(int identifier, const Entry& entry)
{
    entries_[static_cast<std::size_t>(identifier)] = entry;
}

const CodecRegistry::Entry* CodecRegistry::Find(int identifier) const
{
    if (identifier < 0 || identifier >= Capacity)
        return nullptr;
    const Entry& entry = entries_[static_cast<std::size_t>(identifier)];
    return entry.open != nullptr ? &entry : nullptr;
}
