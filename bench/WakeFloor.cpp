// The least a process that carries one side of a call can cost on this machine:
// every 20 ms it sleeps to the next tick, sends one 172-byte datagram and reads
// what arrived with one recvmmsg, and does nothing else (no device, no codec, no
// audio processing). bench_calls.py runs two of them against each other, as it
// runs two orvua, and prints their CPU as the floor of the per-side figures.
//
//   wake_floor LOCAL_PORT PEER_PORT SECONDS   (both on 127.0.0.1)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string_view>

namespace {

constexpr long TickNanoseconds = 20'000'000;
constexpr int TicksPerSecond = 50;
constexpr std::size_t PacketBytes = 172;
constexpr std::size_t BatchSize = 8;
constexpr std::size_t DatagramBytes = 1500;

bool ParsePositive(std::string_view text, int limit, int& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value > 0 && value <= limit;
}

sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

void NextTick(timespec& at)
{
    at.tv_nsec += TickNanoseconds;
    if (at.tv_nsec >= 1'000'000'000) {
        at.tv_nsec -= 1'000'000'000;
        ++at.tv_sec;
    }
}

class Receiver {
public:
    Receiver()
    {
        for (std::size_t at = 0; at < BatchSize; ++at) {
            vectors_[at] = {buffers_[at].data(), DatagramBytes};
            headers_[at].msg_hdr.msg_iov = &vectors_[at];
            headers_[at].msg_hdr.msg_iovlen = 1;
        }
    }

    void ReadFrom(int fd) { recvmmsg(fd, headers_.data(), BatchSize, MSG_DONTWAIT, nullptr); }

private:
    std::array<std::array<char, DatagramBytes>, BatchSize> buffers_{};
    std::array<iovec, BatchSize> vectors_{};
    std::array<mmsghdr, BatchSize> headers_{};
};

} // namespace

int main(int argc, char** argv)
{
    int localPort = 0;
    int peerPort = 0;
    int seconds = 0;
    if (argc != 4 || !ParsePositive(argv[1], 65535, localPort) || !ParsePositive(argv[2], 65535, peerPort) ||
        !ParsePositive(argv[3], 3600, seconds)) {
        std::fprintf(stderr, "usage: wake_floor LOCAL_PORT PEER_PORT SECONDS\n");
        return 2;
    }
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const sockaddr_in local = Loopback(localPort);
    const sockaddr_in peer = Loopback(peerPort);
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        std::perror("wake_floor");
        return 1;
    }
    Receiver receiver;
    const std::array<char, PacketBytes> packet{};
    timespec tick{};
    clock_gettime(CLOCK_MONOTONIC, &tick);
    for (int count = 0; count < seconds * TicksPerSecond; ++count) {
        NextTick(tick);
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &tick, nullptr);
        sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
        receiver.ReadFrom(fd);
    }
    close(fd);
    return 0;
}
