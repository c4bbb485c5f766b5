#include "sipsyntax/SipStreamFramer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string Register = "REGISTER sip:127.0.0.1 SIP/2.0\r\nCall-ID: a\r\nContent-Length: 0\r\n\r\n";
const std::string Invite = "INVITE sip:1@127.0.0.1 SIP/2.0\r\nCall-ID: b\r\nl:  5 \r\n\r\nv=0\r\n";

std::vector<SipStreamFramer::Item> FeedInPieces(SipStreamFramer& framer, const std::string& bytes, std::size_t piece)
{
    std::vector<SipStreamFramer::Item> items;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        framer.Feed(bytes.data() + at, std::min(piece, bytes.size() - at));
        for (auto item = framer.Next(); item.kind != SipStreamFramer::Kind::None; item = framer.Next())
            items.push_back(item);
    }
    return items;
}

} // namespace

TEST(SipStreamFramer, CutsMessagesByContentLengthAndTellsPingsFromPongsWhateverTheReads)
{
    const std::string stream = "\r\n\r\n" + Register + "\r\n" + Invite + Register;
    for (std::size_t piece : {1u, 2u, 7u, 64u, 4096u}) {
        SipStreamFramer framer;
        auto items = FeedInPieces(framer, stream, piece);
        // Reads that cut the ping in two make it two pongs.
        const bool pingCut = piece < 4;
        ASSERT_EQ(items.size(), pingCut ? 6u : 5u) << piece;
        EXPECT_EQ(items[0].kind, pingCut ? SipStreamFramer::Kind::Pong : SipStreamFramer::Kind::Ping);
        if (pingCut)
            items.erase(items.begin());
        EXPECT_EQ(items[1].text, Register);
        EXPECT_EQ(items[2].kind, SipStreamFramer::Kind::Pong);
        EXPECT_EQ(items[3].text, Invite) << "the compact form counts the body";
        EXPECT_EQ(items[4].text, Register);
        EXPECT_FALSE(framer.HoldsPartialMessage());
        EXPECT_EQ(framer.Held(), 0u);
    }
    SipStreamFramer framer;
    const std::string withoutLength = "OPTIONS sip:x SIP/2.0\r\nCall-ID: c\r\n\r\n";
    const auto items = FeedInPieces(framer, withoutLength + Invite.substr(0, 20), 4096);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].text, withoutLength) << "no Content-Length: no body";
    EXPECT_TRUE(framer.HoldsPartialMessage());
}

TEST(SipStreamFramer, HostileStreamsFailForGoodWithoutHoldingMore)
{
    struct Case {
        std::string bytes;
        std::string failure;
    };
    const std::vector<Case> cases = {
        {"OPTIONS sip:x SIP/2.0\r\nX: " + std::string(1 << 20, 'a'), "a header section over 64 KiB"},
        {"INVITE sip:x SIP/2.0\r\nContent-Length: 1000000000\r\n\r\n", "a Content-Length over 64 KiB"},
        {"INVITE sip:x SIP/2.0\r\nContent-Length: 65537\r\n\r\n", "a Content-Length over 64 KiB"},
        {"INVITE sip:x SIP/2.0\r\nContent-Length: 1\r\nl: 2\r\n\r\nab", "an unusable Content-Length"},
        {"INVITE sip:x SIP/2.0\r\nContent-Length: -1\r\n\r\n", "an unusable Content-Length"},
        {"INVITE sip:x SIP/2.0\r\nContent-Length: 9999999999999999999\r\n\r\n", "an unusable Content-Length"},
    };
    for (const Case& hostile : cases) {
        SipStreamFramer framer;
        const auto items = FeedInPieces(framer, hostile.bytes + Register, 16384);
        EXPECT_TRUE(items.empty());
        EXPECT_TRUE(framer.Failed());
        EXPECT_EQ(framer.Failure(), hostile.failure);
        EXPECT_EQ(framer.Held(), 0u);
        framer.Feed(Register.data(), Register.size());
        EXPECT_EQ(framer.Next().kind, SipStreamFramer::Kind::None) << "nothing after a failure";
    }
    SipStreamFramer largest;
    const std::string body(SipStreamFramer::MaxBodyBytes, 'x');
    const std::string message = "INVITE sip:x SIP/2.0\r\nContent-Length: 65536\r\n\r\n" + body;
    const auto items = FeedInPieces(largest, message, 16384);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].text, message) << "a body of 64 KiB passes";
}
