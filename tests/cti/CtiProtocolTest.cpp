#include "cti/CtiCommandTable.h"
#include "cti/CtiLineSplitter.h"
#include "cti/CtiProtocol.h"
#include "cti/CtiRecordText.h"
#include "tests/cti/FakePhone.h"

#include <gtest/gtest.h>

namespace {

std::vector<CtiLineSplitter::Line> Drain(CtiLineSplitter& splitter)
{
    std::vector<CtiLineSplitter::Line> lines;
    while (auto line = splitter.Next())
        lines.push_back(*line);
    return lines;
}

} // namespace

TEST(CtiCommandTable, SevenCommandsByExactNameAndStatusOnTheSocketOnly)
{
    const char* const fileCommands[] = {"Dial", "Hangup", "Hold", "Answer", "SendDTMF", "RejectCall", "ShutDown"};
    for (const char* name : fileCommands) {
        ASSERT_NE(CtiCommandTable::Find(name, CtiTransport::TextFile), nullptr) << name;
        EXPECT_EQ(CtiCommandTable::Find(name, CtiTransport::Socket), CtiCommandTable::Find(name, CtiTransport::TextFile));
    }
    for (const char* other : {"dial", "DIAL", "Dial ", "Reject", "Send DTMF", "", "Hangup\r"})
        EXPECT_EQ(CtiCommandTable::Find(other, CtiTransport::TextFile), nullptr) << other;
    EXPECT_EQ(CtiCommandTable::Find("Status", CtiTransport::TextFile), nullptr);
    const CtiCommandTable::Command* status = CtiCommandTable::Find("Status", CtiTransport::Socket);
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(CtiCommandTable::IsStatus(*status));
    EXPECT_EQ(CtiCommandTable::Commands().size(), 8u);
    for (const auto& command : CtiCommandTable::Commands())
        EXPECT_FALSE(command.help.empty()) << command.name;
}

TEST(CtiCommandTable, CommandsRunThePhoneOperations)
{
    FakePhone phone;
    phone.failures = {{"Digit 2", 34}, {"Digit #", 31}};
    const auto run = [&phone](const char* name, const std::string& parameter) {
        return CtiCommandTable::Find(name, CtiTransport::TextFile)->run(phone, parameter);
    };
    EXPECT_TRUE(run("Dial", "2001").ok);
    EXPECT_TRUE(run("Hangup", "ignored").ok);
    EXPECT_TRUE(run("Hold", "").ok);
    EXPECT_TRUE(run("Answer", "").ok);
    EXPECT_TRUE(run("RejectCall", "").ok);
    const CtiOutcome digits = run("SendDTMF", "12#4");
    EXPECT_FALSE(digits.ok);
    EXPECT_EQ(digits.code, 34) << "the first failure; the later digits were still sent";
    EXPECT_TRUE(run("SendDTMF", "").ok);
    EXPECT_EQ(Operations(phone.calls), (std::vector<std::string>{"Dial 2001", "HangUp", "ToggleHold", "Answer",
                                                                 "Reject", "Digit 1", "Digit 2", "Digit #",
                                                                 "Digit 4"}));

    phone.calls.clear();
    phone.confirmClose = false;
    const CtiOutcome refused = run("ShutDown", "");
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.code, CtiProtocol::kClosingCancelled);
    EXPECT_FALSE(refused.endsProgram);
    phone.confirmClose = true;
    EXPECT_TRUE(run("ShutDown", "").endsProgram);
    EXPECT_EQ(phone.calls, (std::vector<std::string>{"ConfirmClose", "ConfirmClose"})) << "the command never ends it";
}

TEST(CtiProtocol, InterpretsCommandLinesAndRefusesTheRest)
{
    CtiProtocol::Request dial = CtiProtocol::Interpret("Dial 2001");
    ASSERT_NE(dial.command, nullptr);
    EXPECT_EQ(dial.command->name, "Dial");
    EXPECT_EQ(dial.parameter, "2001");
    EXPECT_TRUE(dial.refusal.empty());
    const CtiProtocol::Request digits = CtiProtocol::Interpret("\tSendDTMF   12#  \r");
    ASSERT_NE(digits.command, nullptr);
    EXPECT_EQ(digits.parameter, "12#");
    EXPECT_EQ(CtiProtocol::Interpret("Dial alice smith").parameter, "alice smith");
    EXPECT_EQ(CtiProtocol::Interpret("Hangup now").parameter, "now") << "ignored by the command";
    EXPECT_TRUE(CtiProtocol::Interpret("Status").command != nullptr);

    for (const char* nothing : {"", "   ", "\r", " \t "}) {
        const CtiProtocol::Request request = CtiProtocol::Interpret(nothing);
        EXPECT_EQ(request.command, nullptr);
        EXPECT_TRUE(request.refusal.empty()) << "a blank line is ignored";
    }
    EXPECT_EQ(CtiProtocol::Interpret("dial 2001").refusal, "ERROR dial 90 Unknown command.");
    EXPECT_EQ(CtiProtocol::Interpret("Dial").refusal, "ERROR Dial 91 The command needs a parameter.");
    EXPECT_EQ(CtiProtocol::Interpret("SendDTMF   ").refusal, "ERROR SendDTMF 91 The command needs a parameter.");
    EXPECT_EQ(CtiProtocol::Interpret(std::string("Dial 20\0""01", 10)).refusal,
              "ERROR Dial 94 The parameter holds control characters.");
    EXPECT_EQ(CtiProtocol::Interpret("Dial 20\x1b[2J").refusal, "ERROR Dial 94 The parameter holds control characters.");
    // Whatever a client sends never comes back into the protocol unchecked.
    EXPECT_EQ(CtiProtocol::Interpret("\x01\xff\xfe garbage").refusal, "ERROR - 90 Unknown command.");
    EXPECT_EQ(CtiProtocol::Interpret(std::string(40, 'A')).refusal, "ERROR - 90 Unknown command.");
    EXPECT_EQ(CtiProtocol::Interpret("Dial\x7f").refusal, "ERROR - 90 Unknown command.");
    EXPECT_EQ(CtiProtocol::LineTooLong(), "ERROR - 92 The line is longer than 1024 bytes.");
}

TEST(CtiProtocol, RepliesEventsAndSnapshotLines)
{
    EXPECT_EQ(CtiProtocol::Ok("Dial"), "OK Dial");
    EXPECT_EQ(CtiProtocol::Error("Answer", 32), "ERROR Answer 32 No pending incoming call.");
    EXPECT_EQ(CtiProtocol::Error("Dial", 10), "ERROR Dial 10 You are not Online");
    EXPECT_EQ(CtiProtocol::Error("Hangup", 34), "ERROR Hangup 34 Line is not in voice session.");
    for (const int code : {0, 12, 20, 21, 33, 35, 36, 37, 38, 77})
        EXPECT_FALSE(CtiProtocol::MessageFor(code).empty()) << code;

    EXPECT_EQ(CtiProtocol::Event({"STATUS", "SUCCESS TO CONNECT", ""}), "EVENT\tSTATUS\tSUCCESS TO CONNECT\t");
    EXPECT_EQ(CtiProtocol::Event({"INCOMING CALL", "Bob\tthe\r\nBuilder", ""}), "EVENT\tINCOMING CALL\tBob the  Builder\t");
    EXPECT_EQ(CtiProtocol::Failure(404, "Not Found", ""), "FAILURE\t404\tNot Found\t");
    EXPECT_EQ(CtiProtocol::Failure(302, "Moved", "<sip:2@h>"), "FAILURE\t302\tMoved\t<sip:2@h>");

    CtiSnapshot snapshot;
    snapshot.registration = "REGISTERED";
    snapshot.line = "RINGING";
    snapshot.pending = {{"a@h", "2001"}, {"b@h", "Alice"}};
    const std::vector<std::string> ringing = CtiProtocol::Snapshot(snapshot);
    EXPECT_EQ(ringing, (std::vector<std::string>{"SNAPSHOT\tREGISTRATION\tREGISTERED", "SNAPSHOT\tLINE\tRINGING",
                                                 "SNAPSHOT\tPENDING\ta@h\t2001", "SNAPSHOT\tPENDING\tb@h\tAlice",
                                                 "SNAPSHOT\tPEER\t\t", "SNAPSHOT\tLASTERROR\t\t\t",
                                                 "SNAPSHOT\tEND"}));
    EXPECT_EQ(CtiProtocol::Quality("codec=PCMU;mos=4.4"), "QUALITY\tcodec=PCMU;mos=4.4");
    EXPECT_EQ(CtiProtocol::Quality("codec=a\tb\nc"), "QUALITY\tcodec=a b c");
    snapshot = {"FAILED", "HELD", {}, "2001", "gsm711u", {"nErr", "10", "You are not Online"}, "lost=0;mos=4.4"};
    EXPECT_EQ(CtiProtocol::Snapshot(snapshot),
              (std::vector<std::string>{"SNAPSHOT\tREGISTRATION\tFAILED", "SNAPSHOT\tLINE\tHELD",
                                        "SNAPSHOT\tPEER\t2001\tgsm711u", "SNAPSHOT\tQUALITY\tlost=0;mos=4.4",
                                        "SNAPSHOT\tLASTERROR\tnErr\t10\tYou are not Online", "SNAPSHOT\tEND"}));
}

TEST(CtiLineSplitter, CutsLinesAndSkipsTooLongOnesWithBoundedMemory)
{
    CtiLineSplitter splitter(10);
    EXPECT_TRUE(splitter.WantsInput());
    splitter.Feed("Dial 2001\r\nHang");
    EXPECT_FALSE(splitter.WantsInput());
    std::vector<CtiLineSplitter::Line> lines = Drain(splitter);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "Dial 2001");
    EXPECT_TRUE(splitter.WantsInput());
    splitter.Feed("up\n\n1234567890\n12345678901\nok\n");
    lines = Drain(splitter);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].text, "Hangup");
    EXPECT_EQ(lines[1].text, "");
    EXPECT_EQ(lines[2].text, "1234567890");
    EXPECT_TRUE(lines[3].tooLong);
    EXPECT_EQ(lines[4].text, "ok");
    EXPECT_FALSE(lines[4].tooLong);

    // A line far too long, fed in pieces: reported once, never kept, and the line
    // after it is whole.
    splitter.Feed("Status\nxxxxxxxxxxxxxxxxxxxxxx");
    lines = Drain(splitter);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "Status");
    EXPECT_TRUE(lines[1].tooLong);
    for (int i = 0; i < 1000; ++i) {
        EXPECT_TRUE(splitter.WantsInput());
        splitter.Feed(std::string(1000, 'y'));
        EXPECT_FALSE(splitter.Next().has_value());
    }
    splitter.Feed("yyy\nHold\n");
    lines = Drain(splitter);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "Hold");
    splitter.Feed(std::string(5000, 'z'));
    lines = Drain(splitter);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].tooLong) << "reported before its end arrives";
    splitter.Feed("zz\nAnswer\n");
    lines = Drain(splitter);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "Answer");

    std::string garbage;
    for (int i = 0; i < 5000; ++i)
        garbage.push_back(static_cast<char>((i * 7919) % 256));
    CtiLineSplitter binary(1024);
    binary.Feed(garbage);
    for (const auto& line : Drain(binary))
        EXPECT_LE(line.text.size(), 1024u);
    binary.Feed("\nAnswer\n");
    lines = Drain(binary);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text, "Answer");
}

TEST(CtiRecordText, ReadsTheThreeKeysOfOneVersion)
{
    CtiRecordText record = CtiRecordText::Parse("[ACTION]\nCOMMAND=Dial\nPARAMETER=2001\nMESSAGE=\n");
    EXPECT_TRUE(record.complete);
    EXPECT_EQ(record.record.command, "Dial");
    EXPECT_EQ(record.record.parameter, "2001");
    EXPECT_EQ(record.record.message, "");

    record = CtiRecordText::Parse("[action]\r\ncommand=Hangup\r\n");
    EXPECT_FALSE(record.complete) << "PARAMETER and MESSAGE may still come";
    EXPECT_EQ(record.record.command, "Hangup");
    EXPECT_FALSE(CtiRecordText::Parse("[ACTION]\nCOMMAND=Dial\nPARAMETER=20").complete);
    EXPECT_FALSE(CtiRecordText::Parse("COMMAND=Dial\nPARAMETER=2001\nMESSAGE=\n").complete) << "no section";

    record = CtiRecordText::Parse("[ACTION]\nCOMMAND=SendDTMF\nPARAMETER=" + std::string(300, '1') + "\nMESSAGE=m\n");
    EXPECT_EQ(record.record.parameter, std::string(254, '1'));

    const std::string binary("\x89PNG\r\n\x1a\n\0\0[[[==]]\n=\n[ACTION\nCOMMAND", 35);
    const CtiRecordText garbage = CtiRecordText::Parse(binary);
    EXPECT_EQ(garbage.record.command, "");
    EXPECT_FALSE(garbage.complete);
}
