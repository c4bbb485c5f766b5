#include "useragent/SipTransport.h"

#include "platform/Clock.h"
#include "platform/UdpSocket.h"
#include "sipsyntax/SipMessage.h"

#include <algorithm>
#include <span>

namespace {

// The message as it leaves by `transport`: its Via and Contact say so.
std::string Stamped(const std::string& text, SipTransportKind transport)
{
    SipMessage message;
    if (!message.Parse(text) || !message.StampTransport(transport))
        return text;
    std::string stamped = message.ToText();
    return stamped.empty() ? text : stamped;
}

} // namespace

SipTransport::SipTransport(MessageLoop& loop, UdpSocket& socket, Listener& listener)
    : socket_(socket),
      listener_(listener),
      window_(loop, "OrvSipSendWnd",
              [this](unsigned message, std::uintptr_t, std::intptr_t) {
                  if (message == NotSentMessage)
                      DeliverNotSent();
                  else if (message == SocketMessage)
                      ReceiveDatagram();
              }),
      resolver_(loop),
      locator_(resolver_),
      streams_(loop, *this)
{
}

bool SipTransport::Start(const std::string& bindIp, int port)
{
    // Without TCP on the port the user agent still works as it always did, over UDP.
    streams_.Listen(bindIp, socket_.LocalPort() > 0 ? socket_.LocalPort() : port);
    return window_.WatchSocket(socket_.Descriptor(), SocketMessage);
}

void SipTransport::Stop()
{
    if (socket_.IsOpen())
        window_.UnwatchSocket(socket_.Descriptor());
    streams_.CloseAll();
    waiting_.clear();
    waitingCount_ = 0;
    locator_.Clear();
    registrationKey_.reset();
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

void SipTransport::Send(const std::string& text, const SipDestination& destination, const Owner& owner, bool quiet)
{
    Outgoing message{text, destination, owner, quiet, {}, 0};
    if (locating_ >= MaxWaiting) {
        TellNotSent(std::move(message));
        return;
    }
    std::optional<SipServerLocator::Targets> targets =
        locator_.Locate(destination, [this, message](const SipServerLocator::Targets& found) mutable {
            --locating_;
            message.targets = found;
            TryTarget(std::move(message));
        });
    if (!targets) {
        ++locating_;
        return;
    }
    message.targets = std::move(*targets);
    TryTarget(std::move(message));
}

void SipTransport::TryTarget(Outgoing message)
{
    if (message.tried >= message.targets.size()) {
        TellNotSent(std::move(message));
        return;
    }
    const std::string host = message.targets[message.tried].host;
    if (std::optional<std::uint32_t> address = AddressNow(host))
        SendTo(std::move(message), *address);
    else
        Wait(std::move(message), host);
}

// The server failed: the message tries the next one its domain named, and so do the
// destination's later messages.
void SipTransport::TryNextTarget(Outgoing message)
{
    if (message.tried < message.targets.size())
        locator_.Demote(message.destination, message.targets[message.tried]);
    ++message.tried;
    TryTarget(std::move(message));
}

void SipTransport::Wait(Outgoing message, const std::string& host)
{
    auto found = waiting_.find(host);
    if (found != waiting_.end()) {
        // A retransmission while the first copy still waits goes with it.
        const bool waitingAlready = std::any_of(found->second.begin(), found->second.end(), [&](const Outgoing& other) {
            return other.text == message.text && other.destination.port == message.destination.port;
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
            SendTo(std::move(message), answer.address);
        else
            TryNextTarget(std::move(message));
    }
}

void SipTransport::SendTo(Outgoing message, std::uint32_t address)
{
    const SipServerLocator::Target& target = message.targets[message.tried];
    if (target.transport == SipTransportKind::Udp) {
        SendDatagram(message, address);
        return;
    }
    if (!message.quiet)
        message.text = Stamped(message.text, target.transport);
    const SipConnection::Key key{target.transport, address, target.port};
    // A certificate names the domain the user asked for (RFC 5922), not its SRV server.
    const std::string serverName = message.destination.host;
    streams_.Send(key, serverName, std::move(message));
}

void SipTransport::SendDatagram(const Outgoing& message, std::uint32_t address)
{
    const SipServerLocator::Target& target = message.targets[message.tried];
    UdpSocket::Endpoint destination;
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(message.text.data()),
                                              message.text.size());
    const auto outcome = UdpSocket::EndpointOf(address, target.port, destination)
                             ? socket_.SendDatagram(bytes, destination)
                             : UdpSocket::SendOutcome::Refused;
    if (outcome == UdpSocket::SendOutcome::Sent) {
        NoteSent(message, SipTransportKind::Udp, address, target.port);
    } else if (outcome == UdpSocket::SendOutcome::Refused) {
        cache_.Forget(target.host);
        TellNotSent(message);
    }
}

void SipTransport::NoteSent(const Outgoing& message, SipTransportKind transport, std::uint32_t address, int port)
{
    if (message.owner.kind == Owner::Kind::Registration) {
        if (transport == SipTransportKind::Udp)
            registrationKey_.reset();
        else
            registrationKey_ = SipConnection::Key{transport, address, port};
    }
    if (!message.quiet)
        listener_.OnMessageSent(message.text, message.owner, transport, UdpSocket::DottedAddress(address), port);
}

void SipTransport::KeepAlive(const SipDestination& registrar)
{
    if (registrationKey_)
        streams_.Ping(*registrationKey_);
    else
        Send("\r\n", registrar, {}, true);
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

void SipTransport::ReceiveDatagram()
{
    if (!socket_.IsOpen())
        return;
    UdpSocket::Datagram datagram = socket_.Receive(receiveBuffer_.data(), receiveBuffer_.size());
    if (datagram.length <= 0 || datagram.truncated)
        return;
    listener_.OnMessageReceived(std::string(receiveBuffer_.data(), static_cast<std::size_t>(datagram.length)),
                                {SipTransportKind::Udp, datagram.sourceIp, datagram.sourcePort});
}

void SipTransport::ProcessNow()
{
    resolver_.ProcessNow();
    ReceiveDatagram();
    streams_.ProcessNow();
}

void SipTransport::OnStreamReceived(const std::string& text, const SipSource& source)
{
    listener_.OnMessageReceived(text, source);
}

void SipTransport::OnStreamWritten(const SipOutgoing& message, const SipConnection::Key& key)
{
    NoteSent(message, key.transport, key.address, key.port);
}

// A connection that never opened sent nothing: its messages try the next server. One
// that broke keeps nothing of what it had not written, and the registration that used
// it registers again at once.
void SipTransport::OnStreamEnded(SipStreams::Ended ended)
{
    const std::string address = UdpSocket::DottedAddress(ended.key.address);
    const std::string name = SipUri::TransportName(ended.key.transport);
    if (!ended.opened)
        listener_.OnTransportProblem(name + " connection to " + address + ":" + std::to_string(ended.key.port) +
                                         " failed: " + ended.failure,
                                     address, ended.key.port);
    for (Outgoing& message : ended.unsent) {
        if (ended.opened)
            TellNotSent(std::move(message));
        else
            TryNextTarget(std::move(message));
    }
    if (ended.carriedRegistration && ended.opened && registrationKey_ == ended.key) {
        listener_.OnTransportProblem(name + " connection to " + address + ":" + std::to_string(ended.key.port) +
                                         " broke: " + ended.failure,
                                     address, ended.key.port);
        listener_.OnRegistrationConnectionLost();
    }
}
