#include "platform/VirtualSpeaker.h"

bool VirtualSpeaker::Start()
{
    if (echo_ != nullptr)
        echo_->StartPlaying();
    return true;
}

std::size_t VirtualSpeaker::Transfer(std::span<std::int16_t> samples)
{
    if (sink_ != nullptr)
        sink_->Write(samples);
    if (echo_ != nullptr)
        echo_->Play(samples);
    return samples.size();
}
