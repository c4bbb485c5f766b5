#include "useragent/SipTransport.h"

#include "platform/Clock.h"
#include "platform/UdpSocket.h"

#include <algorithm>
#include <span>

SipTransport::SipTransport(MessageLoop& loop, UdpSocket& socket, Listener& listener)
    : socket_(socket),
      listener_(listener),
      window_(loop, "OrvSipSendWnd",
              [this](unsigned message, std::uintptr_t, std::intptr_t) {
                  if (message == NotSentMessage)
                      DeliverNotSent();
              }),
      resolver_(loop)
{
}

std::optional<std::uint32_t> SipTransport::AddressNow(const std::string& host)
{
    if (std::optional<std::uint32_t> cached = cache_.Find(host, Clock::MonotonicMs()))
        return cached;
    std::optional<DnsResolver::Answer> local = resolver_.LocalAnswer(host);
    if (local && local->found)
        return local->address;
    return std::nullopt;
}

std::string SipTransport::KnownAddress(const std::string& host)
{
    std::optional<std::uint32_t> address = AddressNow(host);
    return address ? UdpSocket::DottedAddress(*address) : std::string();
}

void SipTransport::Send(const std::string& text, const std::string& host, int port, const Owner& owner, bool quiet)
{
    Outgoing message{text, port, owner, quiet};
    if (std::optional<std::uint32_t> address = AddressNow(host))
        SendTo(message, host, *address);
    else
        Wait(std::move(message), host);
}

void SipTransport::Wait(Outgoing message, const std::string& host)
{
    auto found = waiting_.find(host);
    if (found != waiting_.end()) {
        // A retransmission while the first copy still waits goes with it.
        const bool waitingAlready = std::any_of(found->second.begin(), found->second.end(), [&](const Outgoing& other) {
            return other.text == message.text && other.port == message.port;
        });
        if (!waitingAlready && waitingCount_ < MaxWaiting) {
            found->second.push_back(std::move(message));
            ++waitingCount_;
        } else if (!waitingAlready) {
            TellNotSent(std::move(message));
        }
        return;
    }
    if (waitingCount_ >= MaxWaiting) {
        TellNotSent(std::move(message));
        return;
    }
    waiting_[host].push_back(std::move(message));
    ++waitingCount_;
    resolver_.LookupAddress(host, [this, host](const DnsResolver::Answer& answer) { OnLookedUp(host, answer); });
}

void SipTransport::OnLookedUp(const std::string& host, const DnsResolver::Answer& answer)
{
    auto found = waiting_.find(host);
    std::vector<Outgoing> messages;
    if (found != waiting_.end()) {
        messages.swap(found->second);
        waiting_.erase(found);
        waitingCount_ -= messages.size();
    }
    if (answer.found)
        cache_.Store(host, answer.address, answer.ttlSeconds, Clock::MonotonicMs());
    for (Outgoing& message : messages) {
        if (answer.found)
            SendTo(message, host, answer.address);
        else
            TellNotSent(std::move(message));
    }
}

void SipTransport::SendTo(const Outgoing& message, const std::string& host, std::uint32_t address)
{
    UdpSocket::Endpoint destination;
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(message.text.data()),
                                              message.text.size());
    const auto outcome = UdpSocket::EndpointOf(address, message.port, destination)
                             ? socket_.SendDatagram(bytes, destination)
                             : UdpSocket::SendOutcome::Refused;
    if (outcome == UdpSocket::SendOutcome::Sent) {
        if (!message.quiet)
            listener_.OnMessageSent(message.text, UdpSocket::DottedAddress(address), message.port);
    } else if (outcome == UdpSocket::SendOutcome::Refused) {
        cache_.Forget(host);
        TellNotSent(message);
    }
}

void SipTransport::TellNotSent(Outgoing message)
{
    if (message.quiet || message.owner.kind == Owner::Kind::Nobody)
        return;
    if (notSent_.empty())
        window_.Post(NotSentMessage);
    notSent_.push_back(std::move(message));
}

void SipTransport::DeliverNotSent()
{
    std::vector<Outgoing> told;
    told.swap(notSent_);
    for (const Outgoing& message : told)
        listener_.OnMessageNotSent(message.owner, message.text);
}

void SipTransport::DropWaiting()
{
    waiting_.clear();
    waitingCount_ = 0;
}
