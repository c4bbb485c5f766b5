#pragma once

#include "platform/NetworkEndpoint.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// Room for up to `capacity` datagrams of at most `datagramBytes` each, read from a
// socket with one system call. Made once and reused for every read, so reading
// allocates nothing.
class DatagramBatch {
public:
    DatagramBatch(std::size_t capacity, std::size_t datagramBytes);
    ~DatagramBatch();
    DatagramBatch(const DatagramBatch&) = delete;
    DatagramBatch& operator=(const DatagramBatch&) = delete;

    std::size_t Capacity() const { return capacity_; }
    // Reads what is waiting on the non-blocking socket `fd`, at most `limit`
    // datagrams; returns how many (0 when none).
    int ReadFrom(int fd, std::size_t limit);
    // The datagram at `index` of the last read (cut at datagramBytes).
    std::span<const std::uint8_t> Bytes(std::size_t index) const;
    // Whether it was larger than datagramBytes: the rest was lost.
    bool Truncated(std::size_t index) const;
    // Where it came from.
    NetworkEndpoint Source(std::size_t index) const;
    // When it arrived on the wall clock, as the kernel stamped it on a socket that
    // asks for it (UdpSocket::StampArrivals); nothing otherwise.
    std::optional<std::chrono::microseconds> Arrival(std::size_t index) const;

private:
    struct Headers;

    const std::size_t capacity_;
    const std::size_t datagramBytes_;
    std::vector<std::uint8_t> storage_;
    std::unique_ptr<Headers> headers_;
};
