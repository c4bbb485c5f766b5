#include "sipsyntax/SipMessage.h"

#include <gtest/gtest.h>

#include <random>

namespace {

const char* const Invite =
    "INVITE sip:bob@127.0.0.1:5070 SIP/2.0\r\n"
    "Via: SIP/2.0/UDP 127.0.0.1:5080;branch=z9hG4bKtop;rport\r\n"
    "Via: SIP/2.0/UDP 127.0.0.2;branch=z9hG4bKsecond\r\n"
    "Record-Route: <sip:127.0.0.3;lr>\r\n"
    "Record-Route: <sip:127.0.0.4;lr>\r\n"
    "From: \"Alice\" <sip:alice@127.0.0.1:5080>;tag=abc\r\n"
    "To: <sip:bob@127.0.0.1:5070>\r\n"
    "Call-ID: 12345@127.0.0.1\r\n"
    "CSeq: 7 INVITE\r\n"
    "Contact: <sip:alice@127.0.0.1:5080>;Expires=60;q=1\r\n"
    "Max-Forwards: 70\r\n"
    "Expires: 120\r\n"
    "Content-Type: application/sdp\r\n"
    "Content-Length: 5\r\n"
    "\r\n"
    "v=0\r\n";

std::string Request(const std::string& startLine, const std::string& extraHeaders = {})
{
    return startLine + "\r\nVia: SIP/2.0/UDP 127.0.0.1:5080;branch=z9hG4bK1\r\n"
                       "From: <sip:a@127.0.0.1>;tag=1\r\nTo: <sip:b@127.0.0.1>\r\n"
                       "Call-ID: c1\r\nCSeq: 1 X\r\n" +
           extraHeaders + "Content-Length: 0\r\n\r\n";
}

} // namespace

TEST(SipMessage, ParsesARequestAndReadsItsHeadersAsText)
{
    SipMessage m;
    ASSERT_TRUE(m.Parse(Invite));
    EXPECT_TRUE(m.IsRequest());
    EXPECT_TRUE(m.IsInvite());
    EXPECT_FALSE(m.IsAck());
    EXPECT_EQ(m.GetMethod(), "INVITE");
    EXPECT_EQ(m.GetRequestUri(), "sip:bob@127.0.0.1:5070");
    EXPECT_EQ(m.GetCallId(), "12345@127.0.0.1");
    EXPECT_EQ(m.GetCSeq(), "7 INVITE");
    EXPECT_EQ(m.GetFrom(), "\"Alice\" <sip:alice@127.0.0.1:5080>;tag=abc");
    EXPECT_EQ(m.GetTo(), "<sip:bob@127.0.0.1:5070>");
    EXPECT_EQ(m.GetExpires(), 120);
    EXPECT_EQ(m.GetMaxForwards(), "70");
    EXPECT_EQ(m.GetBody(), "v=0\r\n");
    ASSERT_EQ(m.GetVias().size(), 2u);
    EXPECT_EQ(m.GetRecordRoutes(), (std::vector<std::string>{"<sip:127.0.0.3;lr>", "<sip:127.0.0.4;lr>"}));
}

TEST(SipMessage, MethodsMatchByTheirLeadingLetters)
{
    SipMessage m;
    ASSERT_TRUE(m.Parse(Request("INVITEX sip:b@127.0.0.1 SIP/2.0")));
    EXPECT_TRUE(m.IsInvite());
    ASSERT_TRUE(m.Parse(Request("invite sip:b@127.0.0.1 SIP/2.0")));
    EXPECT_FALSE(m.IsInvite());
    ASSERT_TRUE(m.Parse(Request("BYE sip:b@127.0.0.1 SIP/2.0")));
    EXPECT_TRUE(m.IsBye());
    EXPECT_FALSE(m.IsResponseFor("BYE"));
}

TEST(SipMessage, ResponsesAreClassifiedByStatusAndCSeqMethod)
{
    SipMessage m;
    ASSERT_TRUE(m.Parse("SIP/2.0 183 Session Progress\r\nVia: SIP/2.0/UDP 127.0.0.1\r\nFrom: <sip:a@h>;tag=1\r\n"
                        "To: <sip:b@h>\r\nCall-ID: x\r\nCSeq: 2 invite\r\nContent-Length: 0\r\n\r\n"));
    EXPECT_FALSE(m.IsRequest());
    EXPECT_TRUE(m.Is1xx());
    EXPECT_TRUE(m.IsSessionProgress());
    EXPECT_FALSE(m.IsRinging());
    EXPECT_FALSE(m.IsInvite());
    EXPECT_FALSE(m.IsResponseFor("INVITE")) << "a lower-case CSeq method is a different method";
    EXPECT_TRUE(m.IsResponseFor("invite"));
    EXPECT_EQ(m.GetReasonPhrase(), "Session Progress");
}

TEST(SipMessage, ContactExpiresParameter)
{
    SipMessage m;
    ASSERT_TRUE(m.Parse(Invite));
    EXPECT_EQ(m.GetContactExpires(), 60);
    ASSERT_TRUE(m.Parse(Request("REGISTER sip:127.0.0.1 SIP/2.0", "Contact: <sip:a@127.0.0.1>;expires=0\r\n")));
    EXPECT_EQ(m.GetContactExpires(), -1);
    ASSERT_TRUE(m.Parse(Request("REGISTER sip:127.0.0.1 SIP/2.0", "Contact: <sip:a@127.0.0.1>\r\n")));
    EXPECT_EQ(m.GetContactExpires(), -1);
    EXPECT_EQ(m.GetExpires(), -1);
}

TEST(SipMessage, MaxForwardsZeroIsTheOnlyFailure)
{
    SipMessage m;
    ASSERT_TRUE(m.Parse(Request("OPTIONS sip:b@127.0.0.1 SIP/2.0")));
    EXPECT_TRUE(m.MaxForwardsNotZero());
    ASSERT_TRUE(m.Parse(Request("OPTIONS sip:b@127.0.0.1 SIP/2.0", "Max-Forwards: 0\r\n")));
    EXPECT_FALSE(m.MaxForwardsNotZero());
    ASSERT_TRUE(m.Parse(Request("OPTIONS sip:b@127.0.0.1 SIP/2.0", "Max-Forwards: 1\r\n")));
    EXPECT_TRUE(m.MaxForwardsNotZero());
}

TEST(SipMessage, SplitViaDefaultsThePortAndReadsTheBranch)
{
    ViaParts parts;
    ASSERT_TRUE(SipMessage::SplitVia("SIP/2.0/UDP 127.0.0.9;branch=z9hG4bKx;rport", parts));
    EXPECT_EQ(parts.host, "127.0.0.9");
    EXPECT_EQ(parts.port, 5060);
    EXPECT_EQ(parts.branch, "z9hG4bKx");
    EXPECT_EQ(parts.transport, "UDP");
    EXPECT_EQ(parts.version, "2.0");
    ASSERT_TRUE(SipMessage::SplitVia("SIP/2.0/UDP 127.0.0.9:0;branch=b", parts));
    EXPECT_EQ(parts.port, 5060);
    ASSERT_TRUE(SipMessage::SplitVia("SIP/2.0/UDP 127.0.0.9:5099", parts));
    EXPECT_EQ(parts.port, 5099);
    EXPECT_EQ(parts.branch, "");
    EXPECT_FALSE(SipMessage::SplitVia("garbage", parts));
}

TEST(SipMessage, SourceIsRecordedOnlyWhenTheTopViaAsksForRport)
{
    SipMessage asking;
    ASSERT_TRUE(asking.Parse(Invite));
    ASSERT_TRUE(asking.RecordSourceInTopVia("127.0.0.8", 40000));
    std::vector<std::string> vias = asking.GetVias();
    ViaParts top;
    ASSERT_TRUE(SipMessage::SplitVia(vias.front(), top));
    EXPECT_EQ(top.host, "127.0.0.8");
    EXPECT_EQ(top.port, 40000);
    EXPECT_EQ(top.branch, "z9hG4bKtop");
    ViaParts second;
    ASSERT_TRUE(SipMessage::SplitVia(vias.back(), second));
    EXPECT_EQ(second.host, "127.0.0.2");
    SipMessage reparsed;
    ASSERT_TRUE(reparsed.Parse(asking.ToText()));
    EXPECT_EQ(reparsed.GetVias().front(), vias.front());

    SipMessage silent;
    ASSERT_TRUE(silent.Parse(Request("OPTIONS sip:b@127.0.0.1 SIP/2.0")));
    EXPECT_FALSE(silent.RecordSourceInTopVia("127.0.0.8", 40000));
    ASSERT_TRUE(SipMessage::SplitVia(silent.GetVias().front(), top));
    EXPECT_EQ(top.port, 5080);
    ASSERT_TRUE(SipMessage::SplitVia("SIP/2.0/UDP 127.0.0.9:5099;rport=99999;received=", top));
    EXPECT_EQ(top.port, 5099) << "an rport out of range is ignored";
    EXPECT_EQ(top.host, "127.0.0.9");
}

TEST(SipMessage, AddViaWritesTheBranchThenRport)
{
    SipMessage m;
    ASSERT_TRUE(m.Init());
    ASSERT_TRUE(m.AddVia("2.0", "UDP", "127.0.0.1", 5060, "z9hG4bK42"));
    ASSERT_EQ(m.GetVias().size(), 1u);
    EXPECT_EQ(m.GetVias()[0], "SIP/2.0/UDP 127.0.0.1:5060;branch=z9hG4bK42;rport");
}

TEST(SipMessage, MandatoryChecksInOrder)
{
    SipMessage m;
    std::string reason;
    ASSERT_TRUE(m.Parse("OPTIONS sip:b@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1\r\nFrom: <sip:a@h>;tag=1\r\n"
                        "To: <sip:b@h>\r\nCSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n"));
    EXPECT_FALSE(m.CheckMandatory(reason));
    EXPECT_EQ(reason, "Missing Call-ID header field");
    ASSERT_TRUE(m.Parse(Request("OPTIONS sip:b@127.0.0.1 SIP/2.0")));
    EXPECT_TRUE(m.CheckMandatory(reason));
}

TEST(SipMessage, AllowedMethodsAreSubstringsOfTheSupportedList)
{
    SipMessage m;
    ASSERT_TRUE(m.Parse(Request("REFER sip:b@127.0.0.1 SIP/2.0")));
    EXPECT_TRUE(m.IsMethodAllowed());
    ASSERT_TRUE(m.Parse(Request("SUBSCRIBE sip:b@127.0.0.1 SIP/2.0")));
    EXPECT_FALSE(m.IsMethodAllowed());
    ASSERT_TRUE(m.Parse(Request("info sip:b@127.0.0.1 SIP/2.0")));
    EXPECT_TRUE(m.IsMethodAllowed());
}

TEST(SipMessage, AcceptChecks)
{
    SipMessage m;
    std::string reason;
    ASSERT_TRUE(m.Parse(Request("INVITE sip:b@127.0.0.1 SIP/2.0")));
    EXPECT_TRUE(m.CheckAccept(reason));
    ASSERT_TRUE(m.Parse(Request("INVITE sip:b@127.0.0.1 SIP/2.0", "Accept: text/plain, Application/SDP\r\n")));
    EXPECT_TRUE(m.CheckAccept(reason));
    EXPECT_EQ(m.GetAcceptList(), (std::vector<std::string>{"text/plain", "Application/SDP"}));
    ASSERT_TRUE(m.Parse(Request("INVITE sip:b@127.0.0.1 SIP/2.0", "Accept: text/plain\r\n")));
    EXPECT_FALSE(m.CheckAccept(reason));
    EXPECT_EQ(reason, "Cannot proceed with media types in the Accept header field");
    ASSERT_TRUE(m.Parse(Request("INVITE sip:b@127.0.0.1 SIP/2.0", "Accept-Encoding: gzip, identity\r\n")));
    EXPECT_FALSE(m.CheckAccept(reason));
    EXPECT_EQ(reason, "Cannot proceed with encoding types in the Accept-Encoding header field");
    ASSERT_TRUE(m.Parse(Request("INVITE sip:b@127.0.0.1 SIP/2.0", "Accept-Encoding: Identity\r\n")));
    EXPECT_TRUE(m.CheckAccept(reason));
}

TEST(SipMessage, MessageSummaryReaders)
{
    SipMessage m;
    std::string notify = Request("NOTIFY sip:b@127.0.0.1 SIP/2.0");
    notify.resize(notify.size() - 2);
    notify += "Messages-Waiting : YES\r\nMessage-Account: sip:Voice Mail@127.0.0.1\r\n"
              "Voice-Message: 2/8 (0/2)\r\n";
    ASSERT_TRUE(m.Parse(notify));
    EXPECT_EQ(m.GetMessagesWaiting(), "yes");
    EXPECT_EQ(m.GetMessageAccount(), "sip:voicemail@127.0.0.1");
    VoiceMessageCounts counts;
    ASSERT_TRUE(m.GetVoiceMessageCounts(counts));
    EXPECT_EQ(counts.newCount, 2);
    EXPECT_EQ(counts.oldCount, 8);
    EXPECT_EQ(counts.newUrgent, 0);
    EXPECT_EQ(counts.oldUrgent, 2);
}

TEST(SipMessage, VoiceMessageWithoutUrgentCounts)
{
    SipMessage m;
    std::string notify = Request("NOTIFY sip:b@127.0.0.1 SIP/2.0");
    notify.resize(notify.size() - 2);
    notify += "Voice-Message: 2/8\r\n";
    ASSERT_TRUE(m.Parse(notify));
    VoiceMessageCounts counts{9, 9, 9, 9};
    ASSERT_TRUE(m.GetVoiceMessageCounts(counts));
    EXPECT_EQ(counts.newCount, 2);
    EXPECT_EQ(counts.oldCount, 8);
    EXPECT_EQ(counts.newUrgent, 0);
    EXPECT_EQ(counts.oldUrgent, 0);
    ASSERT_TRUE(m.Parse(Request("NOTIFY sip:b@127.0.0.1 SIP/2.0")));
    counts = VoiceMessageCounts{9, 9, 9, 9};
    EXPECT_FALSE(m.GetVoiceMessageCounts(counts));
    EXPECT_EQ(counts.newCount, 9) << "counts stay untouched without a voice-message line";
    EXPECT_EQ(m.GetMessagesWaiting(), "");
}

TEST(SipMessage, BuiltResponseNeedsStatusReasonFromAndTo)
{
    SipMessage m;
    ASSERT_TRUE(m.Init());
    m.SetStatusCode(200);
    m.SetReasonPhrase("OK");
    EXPECT_EQ(m.ToText(), "") << "no From or To: nothing printable";
    m.SetFrom("<sip:a@127.0.0.1>;tag=1");
    m.SetTo("<sip:b@127.0.0.1>");
    m.SetCallId("x@127.0.0.1");
    m.SetCSeq("1 OPTIONS");
    m.SetExpires(30);
    std::string text = m.ToText();
    EXPECT_EQ(text.rfind("SIP/2.0 200 OK\r\n", 0), 0u);
    EXPECT_NE(text.find("Expires: 30\r\n"), std::string::npos);
    EXPECT_NE(text.find("Content-Length: 0\r\n\r\n"), std::string::npos);
}

TEST(SipMessage, SplitCSeq)
{
    std::string number;
    std::string method;
    ASSERT_TRUE(SipMessage::SplitCSeq("314 INVITE", number, method));
    EXPECT_EQ(number, "314");
    EXPECT_EQ(method, "INVITE");
    EXPECT_FALSE(SipMessage::SplitCSeq("", number, method));
}

TEST(SipMessage, MalformedInputNeverCrashesParserOrGetters)
{
    std::mt19937 random(1234);
    std::string valid = Invite;
    auto exercise = [](const std::string& text) {
        SipMessage m;
        if (!m.Parse(text))
            return;
        std::string reason;
        VoiceMessageCounts counts;
        m.GetMethod();
        m.GetRequestUri();
        m.GetCallId();
        m.GetCSeq();
        m.GetFrom();
        m.GetTo();
        m.GetContact();
        m.GetContactExpires();
        m.GetExpires();
        m.GetBody();
        m.CheckMandatory(reason);
        m.IsMethodAllowed();
        m.CheckAccept(reason);
        m.MaxForwardsNotZero();
        m.GetMessagesWaiting();
        m.GetVoiceMessageCounts(counts);
        m.IsResponseFor("INVITE");
        for (const std::string& via : m.GetVias()) {
            ViaParts parts;
            SipMessage::SplitVia(via, parts);
        }
        m.GetRecordRoutes();
        m.ToText();
    };
    for (std::size_t cut = 0; cut <= valid.size(); ++cut)
        exercise(valid.substr(0, cut));
    for (int round = 0; round < 3000; ++round) {
        std::string mutated = valid;
        int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits; ++e)
            mutated[random() % mutated.size()] = static_cast<char>(random() % 256);
        exercise(mutated);
    }
    for (int round = 0; round < 500; ++round) {
        std::string noise(random() % 600, '\0');
        for (char& c : noise)
            c = static_cast<char>(random() % 256);
        exercise(noise);
        exercise("INVITE sip:a@b SIP/2.0\r\n" + noise);
    }
    exercise(valid + std::string(4000, 'A'));
    exercise("INVITE sip:a@b SIP/2.0\r\nVia: " + std::string(3000, ';') + "\r\n\r\n");
    exercise("SIP/2.0 99999999999999999999 X\r\n\r\n");
    SUCCEED();
}
