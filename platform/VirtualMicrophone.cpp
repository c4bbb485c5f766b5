#include "platform/VirtualMicrophone.h"

VirtualMicrophone::~VirtualMicrophone()
{
    if (echo_ != nullptr)
        echo_->StopListening();
}

bool VirtualMicrophone::Start()
{
    if (echo_ != nullptr)
        echo_->StartListening();
    return true;
}

std::size_t VirtualMicrophone::Transfer(std::span<std::int16_t> samples)
{
    for (auto& sample : samples)
        sample = NextSample();
    if (echo_ != nullptr)
        echo_->AddTo(samples);
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
