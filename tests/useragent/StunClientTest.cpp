#include "useragent/StunClient.h"

#include <gtest/gtest.h>

TEST(StunClient, AServerIsAHostWithAnOptionalPortAndScheme)
{
    struct Case {
        const char* text;
        const char* host;
        int port;
    };
    for (const Case& valid : {Case{"192.0.2.1", "192.0.2.1", 3478}, Case{"stun.example.com:3479", "stun.example.com", 3479},
                              Case{"STUN:stun.example.com", "stun.example.com", 3478},
                              Case{"stun:10.0.0.1:65535", "10.0.0.1", 65535}}) {
        std::string host;
        int port = 0;
        EXPECT_TRUE(StunClient::ParseServer(valid.text, host, port)) << valid.text;
        EXPECT_EQ(host, valid.host);
        EXPECT_EQ(port, valid.port);
    }
    for (const char* refused : {"", "stun:", "host:0", "host:65536", "host:", "host:12a", "a b", "[::1]:3478",
                                "-host", "h\xC3\xA9st", "user@host", "host:3478:1", "stun:stun:host"}) {
        std::string host;
        int port = 0;
        EXPECT_FALSE(StunClient::ParseServer(refused, host, port)) << refused;
    }
    std::string host;
    int port = 0;
    EXPECT_FALSE(StunClient::ParseServer(std::string(300, 'a'), host, port)) << "too long a name";
}
