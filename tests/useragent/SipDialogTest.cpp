#include "useragent/SipDialog.h"

#include "sipsyntax/SipIdentifiers.h"
#include "sipsyntax/SipMessage.h"

#include <gtest/gtest.h>

namespace {

SipDialog NewDialog()
{
    return SipDialog("127.0.0.1", 5062, "127.0.0.1", "1001", "1001 <sip:1001@127.0.0.1>");
}

SipMessage Parsed(const std::string& text)
{
    SipMessage m;
    EXPECT_TRUE(m.Parse(text)) << text;
    return m;
}

std::string Branch(const SipMessage& m)
{
    ViaParts via;
    EXPECT_FALSE(m.GetVias().empty());
    SipMessage::SplitVia(m.GetVias().front(), via);
    return via.branch;
}

const char* const IncomingInvite =
    "INVITE sip:1001@127.0.0.1:5062 SIP/2.0\r\n"
    "Via: SIP/2.0/UDP 127.0.0.1:5090;branch=z9hG4bKin1\r\n"
    "Via: SIP/2.0/UDP 127.0.0.8:5091;branch=z9hG4bKin0\r\n"
    "Record-Route: <sip:127.0.0.3;lr>\r\n"
    "Record-Route: <sip:127.0.0.4;lr>\r\n"
    "From: \"Bob\" <sip:bob@127.0.0.1:5090>;tag=bobtag\r\n"
    "To: <sip:1001@127.0.0.1:5062>\r\n"
    "Call-ID: in-call-1@127.0.0.1\r\n"
    "CSeq: 20 INVITE\r\n"
    "Contact: <sip:bob@127.0.0.1:5090>\r\n"
    "Max-Forwards: 70\r\n"
    "Content-Length: 0\r\n\r\n";

std::string ResponseTo(const std::string& request, int status, const std::string& reason, const std::string& extra)
{
    SipMessage r = Parsed(request);
    std::string text = "SIP/2.0 " + std::to_string(status) + " " + reason + "\r\n";
    for (const std::string& via : r.GetVias())
        text += "Via: " + via + "\r\n";
    text += "From: " + r.GetFrom() + "\r\nTo: " + r.GetTo() + ";tag=peer9\r\nCall-ID: " + r.GetCallId() +
            "\r\nCSeq: " + r.GetCSeq() + "\r\n" + extra + "Content-Length: 0\r\n\r\n";
    return text;
}

} // namespace

TEST(SipDialog, InviteCarriesEverythingAndGoesToTheProxy)
{
    SipDialog dialog = NewDialog();
    OutgoingMessage out;
    std::string branch;
    std::string to;
    ASSERT_TRUE(dialog.BuildInvite("v=0\r\n", "", "", "sip:2002@127.0.0.1:5060", out, branch, to));
    EXPECT_EQ(to, "sip:2002@127.0.0.1");
    EXPECT_EQ(out.host, "127.0.0.1");
    EXPECT_EQ(out.port, 0) << "the proxy names no port: the transport's own, or its domain's SRV records";
    EXPECT_EQ(out.transport, SipTransportKind::Unspecified);
    SipMessage m = Parsed(out.text);
    EXPECT_EQ(m.GetMethod(), "INVITE");
    EXPECT_EQ(m.GetRequestUri(), "sip:2002@127.0.0.1");
    EXPECT_EQ(m.GetTo(), "<sip:2002@127.0.0.1>");
    EXPECT_EQ(m.GetCSeq(), "1 INVITE");
    EXPECT_EQ(m.GetMaxForwards(), "70");
    EXPECT_EQ(m.GetContact(), "<sip:1001@127.0.0.1:5062>");
    EXPECT_EQ(m.GetBody(), "v=0\r\n");
    EXPECT_EQ(Branch(m), branch);
    EXPECT_EQ(branch.rfind("z9hG4bK", 0), 0u);
    EXPECT_EQ(m.GetVias().front(), "SIP/2.0/UDP 127.0.0.1:5062;branch=" + branch + ";rport");
    EXPECT_NE(out.text.find("User-Agent: VIROZIRozeDeder/3.0\r\n"), std::string::npos);
    EXPECT_NE(out.text.find("Allow: ACK, INFO, BYE, CANCEL, INVITE, NOTIFY, OPTIONS, REFER, REGISTER\r\n"),
              std::string::npos);
    EXPECT_NE(out.text.find("Content-Type: application/sdp\r\n"), std::string::npos);
    EXPECT_FALSE(SipIdentifiers::TagOf(m.GetFrom()).empty());
    EXPECT_EQ(m.GetCallId().substr(m.GetCallId().find('@')), "@127.0.0.1");
    EXPECT_EQ(dialog.inviteCseq, 1);
    EXPECT_EQ(dialog.cseq, 2);
}

TEST(SipDialog, CredentialRetryKeepsTagAndCallIdWithCSeqOneHigher)
{
    SipDialog dialog = NewDialog();
    OutgoingMessage first;
    OutgoingMessage second;
    std::string branch1;
    std::string branch2;
    std::string to;
    ASSERT_TRUE(dialog.BuildInvite("v=0\r\n", "", "", "2002", first, branch1, to));
    ASSERT_TRUE(dialog.BuildInvite("v=0\r\n", "", "Digest username=\"1001\", nonce=\"n\", uri=\"sip:2002@127.0.0.1\"",
                                   "sip:2002@127.0.0.1", second, branch2, to));
    SipMessage a = Parsed(first.text);
    SipMessage b = Parsed(second.text);
    EXPECT_EQ(a.GetCallId(), b.GetCallId());
    EXPECT_EQ(a.GetFrom(), b.GetFrom());
    EXPECT_EQ(a.GetCSeq(), "1 INVITE");
    EXPECT_EQ(b.GetCSeq(), "2 INVITE");
    EXPECT_NE(branch1, branch2);
    EXPECT_NE(second.text.find("Proxy-Authorization: Digest username=\"1001\""), std::string::npos);
}

TEST(SipDialog, MaddrSendsTheInviteThere)
{
    SipDialog dialog = NewDialog();
    OutgoingMessage out;
    std::string branch;
    std::string to;
    ASSERT_TRUE(dialog.BuildInvite("", "", "", "sip:2002@example.test;maddr=127.0.0.7", out, branch, to));
    EXPECT_EQ(out.host, "127.0.0.7");
    EXPECT_EQ(to, "sip:2002@example.test");
}

TEST(SipDialog, UnsplittableIdentityFailsTheBuilder)
{
    SipDialog dialog("127.0.0.1", 5062, "127.0.0.1", "1001", "\"broken <sip:x");
    OutgoingMessage out;
    std::string branch;
    std::string to;
    EXPECT_FALSE(dialog.BuildInvite("", "", "", "2002", out, branch, to));
    EXPECT_TRUE(out.text.empty());
}

TEST(SipDialog, AckBranchAndCSeqFollowTheResponse)
{
    SipDialog dialog = NewDialog();
    OutgoingMessage invite;
    std::string branch;
    std::string to;
    ASSERT_TRUE(dialog.BuildInvite("", "", "", "2002", invite, branch, to));
    OutgoingMessage ack;
    ASSERT_TRUE(dialog.BuildAck(ResponseTo(invite.text, 486, "Busy Here", ""), branch, ack));
    SipMessage failureAck = Parsed(ack.text);
    EXPECT_EQ(Branch(failureAck), branch);
    EXPECT_EQ(failureAck.GetCSeq(), "1 ACK");
    EXPECT_EQ(failureAck.GetMethod(), "ACK");
    EXPECT_NE(failureAck.GetTo().find("tag=peer9"), std::string::npos);
    EXPECT_EQ(ack.text.find("User-Agent"), std::string::npos);
    EXPECT_EQ(failureAck.GetMaxForwards(), "70");

    std::string ok = ResponseTo(invite.text, 200, "OK", "Contact: <sip:2002@127.0.0.9:5099>\r\n"
                                                        "Record-Route: <sip:127.0.0.3;lr>\r\n"
                                                        "Record-Route: <sip:127.0.0.4;lr>\r\n");
    ASSERT_TRUE(dialog.UpdateFrom2xx(ok));
    ASSERT_TRUE(dialog.BuildAck(ok, branch, ack));
    SipMessage okAck = Parsed(ack.text);
    EXPECT_NE(Branch(okAck), branch);
    EXPECT_EQ(okAck.GetCSeq(), "1 ACK");
    EXPECT_EQ(okAck.GetRequestUri(), "sip:2002@127.0.0.9:5099");
    EXPECT_EQ(ack.host, "127.0.0.4") << "the first route of the reversed Record-Route set";
    EXPECT_LT(ack.text.find("Route: <sip:127.0.0.4;lr>"), ack.text.find("Route: <sip:127.0.0.3;lr>"));
}

TEST(SipDialog, CancelReusesTheInviteCSeqAndBranch)
{
    SipDialog dialog = NewDialog();
    OutgoingMessage invite;
    std::string branch;
    std::string to;
    ASSERT_TRUE(dialog.BuildInvite("", "", "", "2002", invite, branch, to));
    OutgoingMessage cancel;
    ASSERT_TRUE(dialog.BuildCancel(branch, cancel));
    SipMessage m = Parsed(cancel.text);
    EXPECT_EQ(m.GetCSeq(), "1 CANCEL");
    EXPECT_EQ(Branch(m), branch);
    EXPECT_EQ(m.GetCallId(), Parsed(invite.text).GetCallId());
    EXPECT_EQ(cancel.text.find("Contact"), std::string::npos);
    EXPECT_EQ(m.GetMaxForwards(), "70");
}

TEST(SipDialog, ByeAndReferTakeTheNextCSeq)
{
    SipDialog dialog = NewDialog();
    ASSERT_TRUE(dialog.AcceptInvite(IncomingInvite));
    OutgoingMessage bye;
    ASSERT_TRUE(dialog.BuildBye("", "", bye));
    SipMessage m = Parsed(bye.text);
    EXPECT_EQ(m.GetCSeq(), "1 BYE");
    EXPECT_EQ(m.GetMaxForwards(), "70");
    EXPECT_EQ(m.GetRequestUri(), "sip:bob@127.0.0.1:5090");
    EXPECT_EQ(m.GetTo(), "\"Bob\" <sip:bob@127.0.0.1:5090>;tag=bobtag");
    EXPECT_EQ(SipIdentifiers::TagOf(m.GetFrom()), SipIdentifiers::TagOf(dialog.localTagParam));
    EXPECT_EQ(bye.host, "127.0.0.3") << "the first Record-Route of the INVITE, in order";
    OutgoingMessage refer;
    ASSERT_TRUE(dialog.BuildRefer("<sip:3003@127.0.0.1>", "abc@h;to-tag=1;from-tag=2", "", "", refer));
    SipMessage r = Parsed(refer.text);
    EXPECT_EQ(r.GetCSeq(), "2 REFER");
    EXPECT_EQ(r.GetMaxForwards(), "70");
    EXPECT_NE(refer.text.find("Refer-To: <<sip:3003@127.0.0.1;method=INVITE>?Replaces=abc%40h%3Bto-tag%3D1%3Bfrom-tag%3D2>"),
              std::string::npos)
        << refer.text;
    EXPECT_NE(refer.text.find("Referred-By: <sip:1001@127.0.0.1:5062>\r\n"), std::string::npos) << refer.text;
    OutgoingMessage plainRefer;
    ASSERT_TRUE(dialog.BuildRefer("sip:3003@127.0.0.1", "", "", "", plainRefer));
    EXPECT_NE(plainRefer.text.find("Refer-To: sip:3003@127.0.0.1\r\n"), std::string::npos) << plainRefer.text;
}

TEST(SipDialog, InfoBodyUsesLineFeedThenCarriageReturn)
{
    SipDialog dialog = NewDialog();
    ASSERT_TRUE(dialog.AcceptInvite(IncomingInvite));
    OutgoingMessage info;
    std::string cseq;
    ASSERT_TRUE(dialog.BuildInfo(5, 800, info, cseq));
    SipMessage m = Parsed(info.text);
    EXPECT_EQ(cseq, "1");
    EXPECT_EQ(m.GetCSeq(), "1 INFO");
    EXPECT_EQ(m.GetMaxForwards(), "70");
    EXPECT_EQ(m.GetBody(), "Signal=5\n\rDuration=800\n\r");
    EXPECT_NE(info.text.find("Content-Type: application/dtmf-relay"), std::string::npos);
    EXPECT_EQ(info.text.find("Contact"), std::string::npos);
}

TEST(SipDialog, ResponsesCopyTheRequestAndTagAllButTrying)
{
    SipDialog dialog = NewDialog();
    ASSERT_TRUE(dialog.AcceptInvite(IncomingInvite));
    OutgoingMessage trying;
    OutgoingMessage ringing;
    ASSERT_TRUE(dialog.BuildResponse(IncomingInvite, 100, "Trying", "", trying));
    ASSERT_TRUE(dialog.BuildResponse(IncomingInvite, 180, "Ringing", "", ringing));
    EXPECT_EQ(Parsed(trying.text).GetTo(), "<sip:1001@127.0.0.1:5062>");
    EXPECT_EQ(Parsed(ringing.text).GetTo(), "<sip:1001@127.0.0.1:5062>" + dialog.localTagParam);
    SipMessage r = Parsed(ringing.text);
    EXPECT_EQ(r.GetVias().size(), 2u);
    EXPECT_EQ(r.GetRecordRoutes().size(), 2u);
    EXPECT_EQ(r.GetCSeq(), "20 INVITE");
    EXPECT_EQ(ringing.host, "127.0.0.1");
    EXPECT_EQ(ringing.port, 5090);
    OutgoingMessage ok;
    ASSERT_TRUE(dialog.BuildResponse(IncomingInvite, 200, "OK", "v=0\r\n", ok));
    EXPECT_EQ(Parsed(ok.text).GetBody(), "v=0\r\n");
    EXPECT_NE(ok.text.find("Content-Type: application/sdp"), std::string::npos);
}

TEST(SipDialog, RequestTerminatedToACancelNamesTheInvite)
{
    std::string cancel = IncomingInvite;
    cancel.replace(0, 6, "CANCEL");
    cancel.replace(cancel.find("20 INVITE"), 9, "20 CANCEL");
    SipDialog dialog = NewDialog();
    OutgoingMessage terminated;
    ASSERT_TRUE(dialog.BuildResponse(cancel, 487, "Request Terminated", "", terminated));
    EXPECT_EQ(Parsed(terminated.text).GetCSeq(), "20 INVITE");
    OutgoingMessage notAllowed;
    ASSERT_TRUE(dialog.BuildResponse(cancel, 405, "Method Not Allowed", "", notAllowed));
    EXPECT_NE(notAllowed.text.find("Allow: ACK, INFO"), std::string::npos);
    EXPECT_EQ(Parsed(notAllowed.text).GetCSeq(), "20 CANCEL");
}

TEST(SipDialog, RepeatedInviteKeepsTheDialogTag)
{
    SipDialog dialog = NewDialog();
    ASSERT_TRUE(dialog.AcceptInvite(IncomingInvite));
    std::string tag = dialog.localTagParam;
    std::string party = dialog.localParty;
    ASSERT_TRUE(dialog.AcceptInvite(IncomingInvite));
    EXPECT_EQ(dialog.localTagParam, tag);
    EXPECT_EQ(dialog.localParty, party);
    EXPECT_NE(SipIdentifiers::TagOf(dialog.localParty), "");
}

TEST(SipDialog, ResponseToARequestWithoutViaFails)
{
    std::string noVia = IncomingInvite;
    noVia.erase(noVia.find("Via:"), noVia.find("Record-Route") - noVia.find("Via:"));
    SipDialog dialog = NewDialog();
    OutgoingMessage out;
    EXPECT_FALSE(dialog.BuildResponse(noVia, 200, "OK", "", out));
}

TEST(SipDialog, ReInviteStaysInTheDialog)
{
    SipDialog dialog = NewDialog();
    ASSERT_TRUE(dialog.AcceptInvite(IncomingInvite));
    OutgoingMessage reinvite;
    ASSERT_TRUE(dialog.BuildReInvite("v=0\r\n", "Digest username=\"1001\", nonce=\"n\"", "", reinvite));
    SipMessage m = Parsed(reinvite.text);
    EXPECT_EQ(m.GetCallId(), "in-call-1@127.0.0.1");
    EXPECT_EQ(m.GetCSeq(), "1 INVITE");
    EXPECT_EQ(dialog.inviteCseq, 20);
    EXPECT_NE(reinvite.text.find("Authorization: Digest username=\"1001\""), std::string::npos);
}
