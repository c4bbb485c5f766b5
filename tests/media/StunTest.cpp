#include "LineTestSupport.h"
#include "media/RtpHeader.h"
#include "media/StunBinding.h"
#include "media/StunMessage.h"
#include "platform/DatagramBatch.h"
#include "platform/UdpSocket.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The IPv4 answer of RFC 5769, 2.2: XOR-MAPPED-ADDRESS 192.0.2.1:32853 among a
// SOFTWARE, a MESSAGE-INTEGRITY and a FINGERPRINT attribute.
const std::vector<std::uint8_t> Rfc5769Answer = {
    0x01, 0x01, 0x00, 0x3c, 0x21, 0x12, 0xa4, 0x42, 0xb7, 0xe7, 0xa7, 0x01, 0xbc, 0x34, 0xd6, 0x86,
    0xfa, 0x87, 0xdf, 0xae, 0x80, 0x22, 0x00, 0x0b, 0x74, 0x65, 0x73, 0x74, 0x20, 0x76, 0x65, 0x63,
    0x74, 0x6f, 0x72, 0x20, 0x00, 0x20, 0x00, 0x08, 0x00, 0x01, 0xa1, 0x47, 0xe1, 0x12, 0xa6, 0x43,
    0x00, 0x08, 0x00, 0x14, 0x2b, 0x91, 0xf5, 0x99, 0xfd, 0x9e, 0x90, 0xc3, 0x8c, 0x74, 0x89, 0xf9,
    0x2a, 0xf9, 0xba, 0x53, 0xf0, 0x6b, 0xe7, 0xd7, 0x80, 0x28, 0x00, 0x04, 0xc0, 0x7d, 0x4c, 0x96};
const StunMessage::TransactionId Rfc5769Id = {0xb7, 0xe7, 0xa7, 0x01, 0xbc, 0x34, 0xd6, 0x86, 0xfa, 0x87, 0xdf, 0xae};

NetworkEndpoint Endpoint(const char* ip, int port)
{
    NetworkEndpoint endpoint;
    EXPECT_TRUE(UdpSocket::ParseEndpoint(ip, port, endpoint));
    return endpoint;
}

// A success answer to `id` holding one attribute.
std::vector<std::uint8_t> AnswerWith(const StunMessage::TransactionId& id, const std::vector<std::uint8_t>& attribute)
{
    std::vector<std::uint8_t> answer = {0x01, 0x01, 0, 0, 0x21, 0x12, 0xa4, 0x42};
    answer.insert(answer.end(), id.begin(), id.end());
    answer[3] = static_cast<std::uint8_t>(attribute.size());
    answer.insert(answer.end(), attribute.begin(), attribute.end());
    return answer;
}

} // namespace

TEST(StunMessage, ABindingRequestIsAHeaderWithTheCookieAndTheTransaction)
{
    const StunMessage::Request request = StunMessage::BindingRequest(Rfc5769Id);
    const std::vector<std::uint8_t> expected = {0x00, 0x01, 0x00, 0x00, 0x21, 0x12, 0xa4, 0x42, 0xb7, 0xe7,
                                                0xa7, 0x01, 0xbc, 0x34, 0xd6, 0x86, 0xfa, 0x87, 0xdf, 0xae};
    EXPECT_EQ(std::vector<std::uint8_t>(request.begin(), request.end()), expected);
    EXPECT_TRUE(StunMessage::IsStun(request));
    EXPECT_FALSE(StunMessage::MappedAddress(request, Rfc5769Id)) << "a request is no answer";
    const auto rtp = RtpHeader::Build(false, 0, 1, 2, 3, std::vector<std::uint8_t>(160, 0xFF));
    EXPECT_FALSE(StunMessage::IsStun(rtp));
}

TEST(StunMessage, AnAnswerTellsItsMappedAddressOnlyWhenWholeAndMeantForTheRequest)
{
    EXPECT_EQ(StunMessage::MappedAddress(Rfc5769Answer, Rfc5769Id), Endpoint("192.0.2.1", 32853));
    StunMessage::TransactionId other = Rfc5769Id;
    other[11] ^= 1;
    EXPECT_FALSE(StunMessage::MappedAddress(Rfc5769Answer, other)) << "another transaction";
    for (std::size_t length = 0; length < Rfc5769Answer.size(); ++length)
        EXPECT_FALSE(StunMessage::MappedAddress(std::span(Rfc5769Answer).first(length), Rfc5769Id)) << length;
    auto longer = Rfc5769Answer;
    longer.insert(longer.end(), 4, 0);
    EXPECT_FALSE(StunMessage::MappedAddress(longer, Rfc5769Id)) << "bytes beyond the message's length";
    auto overrun = Rfc5769Answer;
    overrun[23] = 0xF0;
    EXPECT_FALSE(StunMessage::MappedAddress(overrun, Rfc5769Id)) << "an attribute beyond the message";
    auto failure = Rfc5769Answer;
    failure[1] = 0x11;
    EXPECT_FALSE(StunMessage::MappedAddress(failure, Rfc5769Id)) << "an error answer";

    // The old MAPPED-ADDRESS serves when nothing better comes; IPv6 and the null address do not.
    EXPECT_FALSE(StunMessage::MappedAddress(AnswerWith(Rfc5769Id, {0, 1, 0, 1, 0, 8}), Rfc5769Id))
        << "a message length that is no multiple of four";
    EXPECT_EQ(StunMessage::MappedAddress(AnswerWith(Rfc5769Id, {0, 1, 0, 8, 0, 1, 0x1f, 0x90, 0xc0, 0, 2, 7}),
                                         Rfc5769Id),
              Endpoint("192.0.2.7", 8080));
    EXPECT_FALSE(StunMessage::MappedAddress(AnswerWith(Rfc5769Id, {0, 0x20, 0, 8, 0, 2, 0xa1, 0x47, 1, 2, 3, 4}),
                                            Rfc5769Id));
    EXPECT_FALSE(StunMessage::MappedAddress(AnswerWith(Rfc5769Id, {0, 1, 0, 8, 0, 1, 0, 0, 0, 0, 0, 0}), Rfc5769Id));
}

TEST(StunBinding, OnlyTheServersAnswerToThePendingRequestCountsAndStunNeverReachesRtp)
{
    const NetworkEndpoint server = Endpoint("127.0.0.1", 3478);
    StunBinding binding;
    EXPECT_TRUE(binding.Take(server, Rfc5769Answer)) << "STUN is swallowed even when nothing is asked";
    EXPECT_FALSE(binding.Mapped());
    const auto request = binding.Start(server, Rfc5769Id);
    EXPECT_EQ(request, StunMessage::BindingRequest(Rfc5769Id));
    EXPECT_TRUE(binding.Pending());
    EXPECT_TRUE(binding.Take(Endpoint("127.0.0.1", 3479), Rfc5769Answer));
    EXPECT_FALSE(binding.Mapped()) << "a forged answer from elsewhere";
    EXPECT_FALSE(binding.Take(server, RtpHeader::Build(false, 0, 1, 2, 3, std::vector<std::uint8_t>(10))));
    EXPECT_TRUE(binding.Take(server, Rfc5769Answer));
    EXPECT_EQ(binding.Mapped(), Endpoint("192.0.2.1", 32853));
    EXPECT_FALSE(binding.Pending());

    // A new request keeps what the last answer told until its own answer comes;
    // a late answer to the old one is no answer to it.
    StunMessage::TransactionId next = Rfc5769Id;
    next[0] = 0;
    binding.Start(server, next);
    binding.Take(server, Rfc5769Answer);
    EXPECT_TRUE(binding.Pending());
    EXPECT_EQ(binding.Mapped(), Endpoint("192.0.2.1", 32853));
    binding.Forget();
    EXPECT_FALSE(binding.Pending());
    EXPECT_FALSE(binding.Mapped());
}

TEST(MediaLine, AsksAStunServerFromItsOwnSocketAndKeepsTheServersAnswerUntilItCloses)
{
    LineRig rig;
    UdpSocket server;
    ASSERT_TRUE(server.Open("127.0.0.1", 0));
    const NetworkEndpoint serverEndpoint = Endpoint("127.0.0.1", server.LocalPort());
    rig.line.QueryStunServer(serverEndpoint, Rfc5769Id);
    rig.line.ResendStunQuery();
    const auto request = StunMessage::BindingRequest(Rfc5769Id);
    for (int copy = 0; copy < 2; ++copy) {
        char buffer[64];
        const UdpSocket::Datagram datagram = server.Receive(buffer, sizeof buffer);
        ASSERT_EQ(datagram.length, 20) << copy;
        EXPECT_EQ(datagram.sourcePort, rig.port) << "the RTP socket asks";
        EXPECT_TRUE(std::equal(request.begin(), request.end(), reinterpret_cast<const std::uint8_t*>(buffer)))
            << "a resend keeps its transaction";
    }
    EXPECT_TRUE(rig.line.StunQueryPending());
    RtpPeer stranger;
    stranger.Send(rig.port, Rfc5769Answer);
    DatagramBatch batch(MediaLine::MaxDatagramsPerRead, 2048);
    EXPECT_EQ(rig.line.OnReadable(rig.line.SocketDescriptor(), false, batch), 1);
    EXPECT_FALSE(rig.line.StunMappedAddress()) << "an answer from another address";
    server.SendTo(std::span(Rfc5769Answer), Endpoint("127.0.0.1", rig.port));
    EXPECT_EQ(rig.line.OnReadable(rig.line.SocketDescriptor(), false, batch), 1);
    EXPECT_EQ(rig.line.StunMappedAddress(), Endpoint("192.0.2.1", 32853));
    EXPECT_FALSE(rig.line.StunQueryPending());
    rig.line.Close();
    EXPECT_FALSE(rig.line.StunMappedAddress());
}
