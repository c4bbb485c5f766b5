#include "platform/DatagramBatch.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>
#include <cstring>
#include <ctime>

namespace {

// Room for one arrival stamp in a message's control data.
struct StampRoom {
    alignas(cmsghdr) unsigned char bytes[CMSG_SPACE(sizeof(timespec))];
};

} // namespace

struct DatagramBatch::Headers {
    explicit Headers(std::size_t capacity)
        : messages(capacity), vectors(capacity), sources(capacity), stamps(capacity)
    {
    }
    std::vector<mmsghdr> messages;
    std::vector<iovec> vectors;
    std::vector<sockaddr_in> sources;
    std::vector<StampRoom> stamps;
};

DatagramBatch::DatagramBatch(std::size_t capacity, std::size_t datagramBytes)
    : capacity_(capacity), datagramBytes_(datagramBytes), storage_(capacity * datagramBytes),
      headers_(std::make_unique<Headers>(capacity))
{
    for (std::size_t at = 0; at < capacity_; ++at) {
        headers_->vectors[at] = {storage_.data() + at * datagramBytes_, datagramBytes_};
        headers_->messages[at].msg_hdr.msg_iov = &headers_->vectors[at];
        headers_->messages[at].msg_hdr.msg_iovlen = 1;
        headers_->messages[at].msg_hdr.msg_name = &headers_->sources[at];
        headers_->messages[at].msg_hdr.msg_control = headers_->stamps[at].bytes;
    }
}

DatagramBatch::~DatagramBatch() = default;

int DatagramBatch::ReadFrom(int fd, std::size_t limit)
{
    const auto wanted = static_cast<unsigned>(std::min(limit, capacity_));
    if (fd < 0 || wanted == 0)
        return 0;
    // Each read tells the length of the address and control data it wrote.
    for (std::size_t at = 0; at < wanted; ++at) {
        headers_->messages[at].msg_hdr.msg_namelen = sizeof(sockaddr_in);
        headers_->messages[at].msg_hdr.msg_controllen = sizeof(StampRoom);
    }
    const int read = recvmmsg(fd, headers_->messages.data(), wanted, MSG_DONTWAIT, nullptr);
    return std::max(read, 0);
}

std::span<const std::uint8_t> DatagramBatch::Bytes(std::size_t index) const
{
    const std::size_t length = std::min<std::size_t>(headers_->messages[index].msg_len, datagramBytes_);
    return {storage_.data() + index * datagramBytes_, length};
}

bool DatagramBatch::Truncated(std::size_t index) const
{
    return (headers_->messages[index].msg_hdr.msg_flags & MSG_TRUNC) != 0;
}

NetworkEndpoint DatagramBatch::Source(std::size_t index) const
{
    const sockaddr_in& source = headers_->sources[index];
    if (headers_->messages[index].msg_hdr.msg_namelen < sizeof source || source.sin_family != AF_INET)
        return {};
    return {source.sin_addr.s_addr, source.sin_port};
}

std::optional<std::chrono::microseconds> DatagramBatch::Arrival(std::size_t index) const
{
    msghdr& header = headers_->messages[index].msg_hdr;
    for (cmsghdr* control = CMSG_FIRSTHDR(&header); control != nullptr; control = CMSG_NXTHDR(&header, control)) {
        if (control->cmsg_level != SOL_SOCKET || control->cmsg_type != SCM_TIMESTAMPNS)
            continue;
        timespec stamp{};
        std::memcpy(&stamp, CMSG_DATA(control), sizeof stamp);
        return std::chrono::seconds(stamp.tv_sec) + std::chrono::duration_cast<std::chrono::microseconds>(
                                                        std::chrono::nanoseconds(stamp.tv_nsec));
    }
    return std::nullopt;
}
