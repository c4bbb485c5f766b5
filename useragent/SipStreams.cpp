#include "useragent/SipStreams.h"

#include "platform/Clock.h"
#include "platform/TcpStream.h"
#include "platform/TlsStream.h"
#include "platform/UdpSocket.h"

#include <poll.h>

#include <algorithm>
#include <limits>

namespace {

constexpr const char* PingText = "\r\n\r\n";
constexpr const char* PongText = "\r\n";

} // namespace

SipStreams::SipStreams(MessageLoop& loop, Listener& listener)
    : window_(loop, "OrvSipStreamWnd",
              [this](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
                  if (message == SocketMessage)
                      OnSocket(static_cast<int>(wParam), (lParam & MessageWindow::SocketReadable) != 0,
                               (lParam & MessageWindow::SocketWritable) != 0);
                  else if (message == ListenMessage)
                      AcceptWaiting();
                  else if (message == EndedMessage)
                      DeliverEnded();
                  else if (message == MessageWindow::TimerMessage)
                      Sweep();
              }),
      listener_(listener)
{
}

SipStreams::~SipStreams()
{
    CloseAll();
}

bool SipStreams::Listen(const std::string& bindIp, int port)
{
    return tcpListener_.Open(bindIp, port) && window_.WatchSocket(tcpListener_.Descriptor(), ListenMessage);
}

void SipStreams::CloseAll()
{
    if (tcpListener_.IsOpen())
        window_.UnwatchSocket(tcpListener_.Descriptor());
    tcpListener_.Close();
    for (const auto& [fd, id] : byDescriptor_)
        window_.UnwatchSocket(fd);
    byDescriptor_.clear();
    byKey_.clear();
    connections_.clear();
    ended_.clear();
    window_.KillTimer(SweepTimer);
    // A new start reads ORVSIP_TLS_CA_FILE again.
    tls_.reset();
}

std::size_t SipStreams::InboundCount() const
{
    return static_cast<std::size_t>(std::count_if(connections_.begin(), connections_.end(),
                                                   [](const auto& entry) { return entry.second->Inbound(); }));
}

SipConnection* SipStreams::Find(Id id)
{
    auto found = connections_.find(id);
    return found != connections_.end() ? found->second.get() : nullptr;
}

SipStreams::Id SipStreams::Add(std::unique_ptr<SipConnection> connection)
{
    const Id id = nextId_++;
    if (connection->Descriptor() >= 0)
        byDescriptor_[connection->Descriptor()] = id;
    byKey_.try_emplace(connection->GetKey(), id);
    connections_[id] = std::move(connection);
    Watch(id);
    return id;
}

void SipStreams::Watch(Id id)
{
    SipConnection* connection = Find(id);
    if (connection != nullptr && connection->Descriptor() >= 0)
        window_.WatchSocket(connection->Descriptor(), SocketMessage, connection->WantsWrite());
}

void SipStreams::Open(const SipConnection::Key& key, const std::string& serverName)
{
    auto tcp = std::make_unique<TcpStream>();
    tcp->Connect(key.address, key.port);
    std::unique_ptr<ByteStream> stream;
    if (key.transport == SipTransportKind::Tls) {
        if (!tls_)
            tls_ = std::make_unique<TlsContext>();
        stream = std::make_unique<TlsStream>(std::move(tcp), *tls_, serverName);
    } else {
        stream = std::move(tcp);
    }
    Add(std::make_unique<SipConnection>(std::move(stream), key, false, Clock::MonotonicMs()));
}

void SipStreams::Send(const SipConnection::Key& key, const std::string& serverName, SipOutgoing message)
{
    if (byKey_.count(key) == 0)
        Open(key, serverName);
    const Id id = byKey_.at(key);
    SipConnection& connection = *Find(id);
    if (message.owner.kind == SipOwner::Kind::Registration)
        connection.carriesRegistration = true;
    connection.Queue(std::move(message));
    connection.Progress(Clock::MonotonicMs());
    Flush(id);
    ArmSweep();
}

bool SipStreams::Ping(const SipConnection::Key& key)
{
    auto found = byKey_.find(key);
    if (found == byKey_.end() || !Find(found->second)->Opened())
        return false;
    SipOutgoing ping;
    ping.text = PingText;
    ping.quiet = true;
    Find(found->second)->Queue(std::move(ping));
    Flush(found->second);
    return true;
}

void SipStreams::Flush(Id id)
{
    SipConnection* connection = Find(id);
    if (connection == nullptr)
        return;
    std::vector<SipOutgoing> written;
    connection->Write(written, Clock::MonotonicMs());
    const SipConnection::Key key = connection->GetKey();
    if (connection->Broken())
        End(id);
    else if (connection->QueuedBytes() > MaxQueuedBytes)
        End(id, "the peer reads nothing");
    else
        Watch(id);
    for (const SipOutgoing& message : written) {
        if (!message.quiet)
            listener_.OnStreamWritten(message, key);
    }
}

void SipStreams::OnSocket(int fd, bool readable, bool)
{
    auto found = byDescriptor_.find(fd);
    if (found == byDescriptor_.end())
        return;
    const Id id = found->second;
    SipConnection* connection = Find(id);
    const std::int64_t now = Clock::MonotonicMs();
    connection->Progress(now);
    if (connection->Broken()) {
        End(id);
        return;
    }
    Flush(id);
    connection = Find(id);
    if (connection == nullptr || !readable)
        return;
    std::vector<SipStreamFramer::Item> items;
    connection->Read(items, now);
    const SipSource source{connection->GetKey().transport, connection->PeerIp(), connection->GetKey().port};
    HandleItems(id, source, items);
    connection = Find(id);
    if (connection != nullptr && connection->Broken())
        End(id);
    ArmSweep();
}

// Each message reaches the listener as it came; pings are answered with a pong and
// pongs need nothing.
void SipStreams::HandleItems(Id id, const SipSource& source, std::vector<SipStreamFramer::Item>& items)
{
    for (SipStreamFramer::Item& item : items) {
        if (item.kind == SipStreamFramer::Kind::Message) {
            listener_.OnStreamReceived(item.text, source);
        } else if (item.kind == SipStreamFramer::Kind::Ping) {
            if (SipConnection* connection = Find(id)) {
                SipOutgoing pong;
                pong.text = PongText;
                pong.quiet = true;
                connection->Queue(std::move(pong));
                Flush(id);
            }
        }
    }
}

void SipStreams::AcceptWaiting()
{
    for (int taken = 0; taken < AcceptsPerNotice; ++taken) {
        std::string peerIp;
        int peerPort = 0;
        const int fd = tcpListener_.Accept(peerIp, peerPort);
        if (fd < 0)
            break;
        if (InboundCount() >= MaxInbound)
            EvictOldestIdleInbound();
        auto stream = std::make_unique<TcpStream>();
        stream->Adopt(fd);
        SipConnection::Key key{SipTransportKind::Tcp, 0, peerPort};
        UdpSocket::Endpoint endpoint;
        if (UdpSocket::ResolveEndpoint(peerIp, peerPort, endpoint))
            key.address = endpoint.address;
        Add(std::make_unique<SipConnection>(std::move(stream), key, true, Clock::MonotonicMs()));
    }
    ArmSweep();
}

void SipStreams::EvictOldestIdleInbound()
{
    auto oldest = connections_.end();
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
        if (it->second->Inbound() &&
            (oldest == connections_.end() || it->second->LastActivityMs() < oldest->second->LastActivityMs()))
            oldest = it;
    }
    if (oldest != connections_.end())
        End(oldest->first, "given up for a newer connection");
}

void SipStreams::End(Id id, const std::string& why)
{
    auto found = connections_.find(id);
    if (found == connections_.end())
        return;
    std::unique_ptr<SipConnection> connection = std::move(found->second);
    connections_.erase(found);
    if (connection->Descriptor() >= 0) {
        window_.UnwatchSocket(connection->Descriptor());
        byDescriptor_.erase(connection->Descriptor());
    }
    auto keyed = byKey_.find(connection->GetKey());
    if (keyed != byKey_.end() && keyed->second == id)
        byKey_.erase(keyed);
    Ended ended{connection->GetKey(), connection->Opened(), why.empty() ? connection->Failure() : why,
                connection->TakeQueued(), connection->carriesRegistration};
    // A CA file that could not be read is the likely reason a certificate was refused.
    if (!ended.opened && ended.key.transport == SipTransportKind::Tls && tls_ && !tls_->CaFileProblem().empty())
        ended.failure += " (" + tls_->CaFileProblem() + ")";
    if (ended_.empty())
        window_.Post(EndedMessage);
    ended_.push_back(std::move(ended));
}

void SipStreams::DeliverEnded()
{
    std::vector<Ended> told;
    told.swap(ended_);
    for (Ended& ended : told)
        listener_.OnStreamEnded(std::move(ended));
}

void SipStreams::Sweep()
{
    const std::int64_t now = Clock::MonotonicMs();
    std::vector<std::pair<Id, const char*>> due;
    for (const auto& [id, connection] : connections_) {
        if (!connection->Opened() && now - connection->CreatedMs() >= OpeningTimeoutMs)
            due.emplace_back(id, "no answer to the connection");
        else if (connection->PartialSinceMs() >= 0 && now - connection->PartialSinceMs() >= MessageCompletionMs)
            due.emplace_back(id, "a message not complete within 10 s");
        else if (connection->Inbound() && now - connection->LastActivityMs() >= InboundIdleMs)
            due.emplace_back(id, "idle for a minute");
    }
    for (const auto& [id, why] : due)
        End(id, why);
    ArmSweep();
}

// The sweep runs when the next connection falls due, and not at all while no
// connection can (an open connection of this side's own, idle, never does).
void SipStreams::ArmSweep()
{
    std::int64_t next = std::numeric_limits<std::int64_t>::max();
    for (const auto& [id, connection] : connections_) {
        if (!connection->Opened())
            next = std::min(next, connection->CreatedMs() + OpeningTimeoutMs);
        if (connection->PartialSinceMs() >= 0)
            next = std::min(next, connection->PartialSinceMs() + MessageCompletionMs);
        if (connection->Inbound())
            next = std::min(next, connection->LastActivityMs() + InboundIdleMs);
    }
    if (next == std::numeric_limits<std::int64_t>::max()) {
        window_.KillTimer(SweepTimer);
        return;
    }
    const auto delay = static_cast<int>(std::clamp<std::int64_t>(next - Clock::MonotonicMs() + 1, 1, 600000));
    window_.SetTimer(SweepTimer, delay, delay);
}

void SipStreams::ProcessNow()
{
    std::vector<pollfd> watched;
    if (tcpListener_.IsOpen())
        watched.push_back({tcpListener_.Descriptor(), POLLIN, 0});
    for (const auto& [fd, id] : byDescriptor_)
        watched.push_back({fd, static_cast<short>(POLLIN | (Find(id)->WantsWrite() ? POLLOUT : 0)), 0});
    if (watched.empty() || poll(watched.data(), watched.size(), 0) <= 0)
        return;
    for (const pollfd& socket : watched) {
        if (socket.revents == 0)
            continue;
        if (socket.fd == tcpListener_.Descriptor())
            AcceptWaiting();
        else
            OnSocket(socket.fd, (socket.revents & (POLLIN | POLLERR | POLLHUP)) != 0, (socket.revents & POLLOUT) != 0);
    }
}
