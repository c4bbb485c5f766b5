#include "media/StunBinding.h"

StunMessage::Request StunBinding::Start(const NetworkEndpoint& server, const StunMessage::TransactionId& id)
{
    server_ = server;
    id_ = id;
    request_ = StunMessage::BindingRequest(id);
    pending_ = true;
    return request_;
}

bool StunBinding::Take(const NetworkEndpoint& source, std::span<const std::uint8_t> datagram)
{
    if (!StunMessage::IsStun(datagram))
        return false;
    if (!pending_ || source != server_)
        return true;
    if (auto mapped = StunMessage::MappedAddress(datagram, id_)) {
        mapped_ = mapped;
        pending_ = false;
    }
    return true;
}

void StunBinding::Forget()
{
    pending_ = false;
    mapped_.reset();
}
