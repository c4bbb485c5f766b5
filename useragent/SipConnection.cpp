#include "useragent/SipConnection.h"

#include "platform/UdpSocket.h"

#include <array>

SipConnection::SipConnection(std::unique_ptr<ByteStream> stream, const Key& key, bool inbound, std::int64_t nowMs)
    : stream_(std::move(stream)), key_(key), inbound_(inbound), createdMs_(nowMs), lastActivityMs_(nowMs)
{
    opened_ = stream_->Current() == ByteStream::State::Open;
}

std::string SipConnection::PeerIp() const
{
    return UdpSocket::DottedAddress(key_.address);
}

bool SipConnection::WantsWrite() const
{
    return stream_->WantsWrite() || (opened_ && !queue_.empty());
}

bool SipConnection::Broken() const
{
    const ByteStream::State state = stream_->Current();
    return state == ByteStream::State::Closed || state == ByteStream::State::Failed || framer_.Failed();
}

std::string SipConnection::Failure() const
{
    if (framer_.Failed())
        return "the peer sent " + framer_.Failure();
    return stream_->Failure();
}

void SipConnection::Queue(SipOutgoing message)
{
    queuedBytes_ += message.text.size();
    queue_.push_back(std::move(message));
}

void SipConnection::Progress(std::int64_t nowMs)
{
    if (stream_->Progress() == ByteStream::State::Open && !opened_) {
        opened_ = true;
        lastActivityMs_ = nowMs;
    }
}

void SipConnection::Write(std::vector<SipOutgoing>& written, std::int64_t nowMs)
{
    while (opened_ && !queue_.empty()) {
        const std::string& text = queue_.front().text;
        const long sent = stream_->Write(text.data() + writtenOfFirst_, text.size() - writtenOfFirst_);
        if (sent <= 0)
            return;
        lastActivityMs_ = nowMs;
        writtenOfFirst_ += static_cast<std::size_t>(sent);
        if (writtenOfFirst_ < text.size())
            continue;
        queuedBytes_ -= text.size();
        writtenOfFirst_ = 0;
        written.push_back(std::move(queue_.front()));
        queue_.pop_front();
    }
}

void SipConnection::Read(std::vector<SipStreamFramer::Item>& items, std::int64_t nowMs)
{
    std::array<char, 16384> chunk{};
    for (std::size_t budget = ReadBudget; opened_ && budget > 0 && !framer_.Failed();) {
        const long got = stream_->Read(chunk.data(), chunk.size());
        if (got <= 0)
            break;
        budget -= std::min(budget, static_cast<std::size_t>(got));
        lastActivityMs_ = nowMs;
        if (!framer_.HoldsPartialMessage())
            partialSinceMs_ = nowMs;
        framer_.Feed(chunk.data(), static_cast<std::size_t>(got));
        const std::size_t before = items.size();
        for (SipStreamFramer::Item item = framer_.Next(); item.kind != SipStreamFramer::Kind::None;
             item = framer_.Next())
            items.push_back(std::move(item));
        // A message completed here: what is left began with these bytes.
        if (!framer_.HoldsPartialMessage())
            partialSinceMs_ = -1;
        else if (items.size() > before)
            partialSinceMs_ = nowMs;
    }
}

std::vector<SipOutgoing> SipConnection::TakeQueued()
{
    std::vector<SipOutgoing> unsent;
    // A message cut half way cannot be finished on another connection: it is not sent.
    for (SipOutgoing& message : queue_)
        unsent.push_back(std::move(message));
    queue_.clear();
    queuedBytes_ = 0;
    writtenOfFirst_ = 0;
    return unsent;
}
