#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A DNS server on 127.0.0.1 for the resolver's tests: it answers the A queries of the
// names it holds with their address and time to live, the others with NXDOMAIN, or
// nothing at all while silent, and counts the queries per name. Point the resolver
// at it with ORVSIP_DNS_SERVER=Address(), so no query of a test leaves the machine.
class TestDnsServer {
public:
    TestDnsServer()
    {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~TestDnsServer()
    {
        stop_ = true;
        thread_.join();
        close(fd_);
    }
    TestDnsServer(const TestDnsServer&) = delete;
    TestDnsServer& operator=(const TestDnsServer&) = delete;

    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    void Add(const std::string& name, const std::string& address, std::uint32_t ttlSeconds)
    {
        std::lock_guard lock(mutex_);
        records_[name] = {address, ttlSeconds};
    }
    void SetSilent(bool silent) { silent_ = silent; }
    int Queries(const std::string& name) const
    {
        std::lock_guard lock(mutex_);
        auto found = queries_.find(name);
        return found != queries_.end() ? found->second : 0;
    }
    int AllQueries() const
    {
        std::lock_guard lock(mutex_);
        int all = 0;
        for (const auto& [name, count] : queries_)
            all += count;
        return all;
    }

private:
    struct Record {
        std::string address;
        std::uint32_t ttl;
    };

    void Serve()
    {
        while (!stop_) {
            pollfd watched{fd_, POLLIN, 0};
            if (poll(&watched, 1, 50) <= 0)
                continue;
            std::uint8_t query[512];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            ssize_t got = recvfrom(fd_, query, sizeof query, 0, reinterpret_cast<sockaddr*>(&from), &length);
            std::vector<std::uint8_t> answer = got > 12 ? Answer(query, static_cast<std::size_t>(got)) : std::vector<std::uint8_t>{};
            if (!answer.empty() && !silent_)
                sendto(fd_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
        }
    }

    // The question's name and where the question ends; empty when it does not parse.
    static std::string QuestionName(const std::uint8_t* query, std::size_t size, std::size_t& end)
    {
        std::string name;
        std::size_t at = 12;
        while (at < size && query[at] != 0) {
            std::size_t label = query[at];
            if (label > 63 || at + 1 + label >= size)
                return {};
            name += (name.empty() ? "" : ".") + std::string(reinterpret_cast<const char*>(query + at + 1), label);
            at += 1 + label;
        }
        end = at + 5; // the root label, type and class
        return end <= size ? name : std::string();
    }

    std::vector<std::uint8_t> Answer(const std::uint8_t* query, std::size_t size)
    {
        std::size_t end = 0;
        std::string name = QuestionName(query, size, end);
        if (name.empty())
            return {};
        std::lock_guard lock(mutex_);
        ++queries_[name];
        auto record = records_.find(name);
        std::vector<std::uint8_t> answer(query, query + end);
        answer[2] = 0x81; // a response, recursion desired as asked
        answer[3] = record != records_.end() ? 0x80 : 0x83; // recursion available; NXDOMAIN
        answer[6] = 0;
        answer[7] = record != records_.end() ? 1 : 0;
        answer[8] = answer[9] = answer[10] = answer[11] = 0;
        if (record == records_.end())
            return answer;
        in_addr address{};
        inet_pton(AF_INET, record->second.address.c_str(), &address);
        const std::uint32_t ttl = record->second.ttl;
        const std::uint8_t resource[] = {0xC0, 0x0C, 0, 1, 0, 1, static_cast<std::uint8_t>(ttl >> 24),
                                         static_cast<std::uint8_t>(ttl >> 16), static_cast<std::uint8_t>(ttl >> 8),
                                         static_cast<std::uint8_t>(ttl), 0, 4};
        answer.insert(answer.end(), resource, resource + sizeof resource);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address.s_addr);
        answer.insert(answer.end(), bytes, bytes + 4);
        return answer;
    }

    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> silent_{false};
    mutable std::mutex mutex_;
    std::map<std::string, Record> records_;
    std::map<std::string, int> queries_;
    std::thread thread_;
};
