#include "platform/VirtualMicrophone.h"

bool VirtualMicrophone::Start()
{
    pacer_.Restart();
    return true;
}

std::size_t VirtualMicrophone::Transfer(std::span<std::int16_t> samples)
{
    pacer_.WaitForNextTick();
    for (auto& sample : samples)
        sample = NextSample();
    return samples.size();
}

std::int16_t VirtualMicrophone::NextSample()
{
    if (loop_.empty())
        return 0;
    const std::int16_t sample = loop_[position_];
    position_ = (position_ + 1) % loop_.size();
    return sample;
}
