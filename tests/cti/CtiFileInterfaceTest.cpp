#include "cti/CtiCommandTable.h"
#include "cti/CtiFileInterface.h"
#include "tests/cti/FakePhone.h"
#include "tests/platform/TempDirectory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QElapsedTimer>

#include <fstream>
#include <sstream>

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const std::string& path, const std::string& text, std::ios::openmode mode = std::ios::trunc)
{
    std::ofstream(path, std::ios::binary | mode) << text;
}

bool Exists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// One CTI text-file interface on a fake phone in a fresh folder.
struct FileRig {
    TempDirectory folder;
    FakePhone phone;
    CtiEventQueue queue;
    CtiCommandRunner runner{phone};
    CtiFileInterface files{folder.File(""), queue, runner};
    std::string input = folder.File("INPUT.INI");
    std::string output = folder.File("OUTPUT.INI");

    FileRig() { files.Start(); }

    void Command(const std::string& command, const std::string& parameter)
    {
        WriteAll(input, "[ACTION]\nCOMMAND=" + command + "\nPARAMETER=" + parameter + "\nMESSAGE=\n");
    }
};

} // namespace

TEST(CtiFileInterface, RunsExactCommandsOnceAndDeletesEveryNonEmptyInput)
{
    FileRig rig;
    rig.Command("Dial", "2001");
    rig.files.InputTick();
    EXPECT_EQ(Operations(rig.phone.calls), std::vector<std::string>{"Dial 2001"});
    EXPECT_FALSE(Exists(rig.input));

    rig.Command("dial", "2002");
    rig.files.InputTick();
    EXPECT_FALSE(Exists(rig.input)) << "deleted, and nothing dialled";
    rig.Command("", "2002");
    rig.files.InputTick();
    EXPECT_FALSE(Exists(rig.input));
    rig.Command("Status", "");
    rig.files.InputTick();
    EXPECT_FALSE(Exists(rig.input)) << "the snapshot is the socket's alone";
    rig.Command("SendDTMF", "12#");
    rig.files.InputTick();
    rig.Command("Hangup", "");
    rig.files.InputTick();
    EXPECT_EQ(Operations(rig.phone.calls),
              (std::vector<std::string>{"Dial 2001", "Digit 1", "Digit 2", "Digit #", "HangUp"}));

    WriteAll(rig.input, "");
    for (int i = 0; i < 3; ++i)
        rig.files.InputTick();
    EXPECT_TRUE(Exists(rig.input)) << "a zero-length file is neither run nor deleted";
    EXPECT_EQ(rig.phone.calls.size(), 10u);

    // A file that cannot be taken away runs nothing, tick after tick.
    ASSERT_EQ(std::remove(rig.input.c_str()), 0);
    ASSERT_EQ(mkdir(rig.input.c_str(), 0700), 0);
    rig.files.InputTick();
    EXPECT_EQ(rig.phone.calls.size(), 10u);
    rmdir(rig.input.c_str());
    ASSERT_EQ(mkfifo(rig.input.c_str(), 0600), 0);
    rig.files.InputTick(); // a pipe in its place neither blocks nor runs
    EXPECT_TRUE(Exists(rig.input));
    std::remove(rig.input.c_str());

    // A folder named like a claim of this process does not stop the next command.
    ASSERT_EQ(mkdir((rig.input + "." + std::to_string(getpid())).c_str(), 0700), 0);
    rig.Command("Answer", "");
    rig.files.InputTick();
    EXPECT_FALSE(Exists(rig.input));
    EXPECT_EQ(Operations(rig.phone.calls).back(), "Answer");
}

TEST(CtiFileInterface, ConfirmedShutDownEndsTheProgramAfterTheFileIsGone)
{
    FileRig rig;
    rig.phone.confirmClose = false;
    rig.Command("ShutDown", "");
    rig.files.InputTick();
    EXPECT_FALSE(Exists(rig.input));
    EXPECT_EQ(rig.phone.calls, std::vector<std::string>{"ConfirmClose"});
    rig.phone.confirmClose = true;
    rig.Command("ShutDown", "");
    rig.files.InputTick();
    EXPECT_EQ(rig.phone.calls, (std::vector<std::string>{"ConfirmClose", "ConfirmClose", "EndProgram"}));
}

TEST(CtiFileInterface, AnIncompleteRecordWaitsUntilItStopsChanging)
{
    FileRig rig;
    WriteAll(rig.input, "[ACTION]\nCOMMAND=Dial\n");
    rig.files.InputTick();
    EXPECT_TRUE(rig.phone.calls.empty()) << "PARAMETER may still come";
    WriteAll(rig.input, "PARAMETER=2001\n", std::ios::app);
    rig.files.InputTick();
    EXPECT_TRUE(rig.phone.calls.empty());
    WriteAll(rig.input, "MESSAGE=\n", std::ios::app);
    rig.files.InputTick();
    EXPECT_EQ(Operations(rig.phone.calls), std::vector<std::string>{"Dial 2001"});

    // Keys in another order, the last one cut short: whole only with its line break.
    WriteAll(rig.input, "[ACTION]\nMESSAGE=\nCOMMAND=Dial\nPARAMETER=20");
    rig.files.InputTick();
    EXPECT_EQ(rig.phone.calls.size(), 2u) << "not 20";
    WriteAll(rig.input, "01\n", std::ios::app);
    rig.files.InputTick();
    EXPECT_EQ(Operations(rig.phone.calls), (std::vector<std::string>{"Dial 2001", "Dial 2001"}));
    rig.phone.calls.resize(2);

    // A client that writes only COMMAND is heard once the file has rested kSettleMs;
    // garbage runs nothing and is deleted then.
    QElapsedTimer waited;
    waited.start();
    WriteAll(rig.input, "[ACTION]\nCOMMAND=Hangup\n");
    ASSERT_TRUE(WaitFor([&] { return !Exists(rig.input); }));
    EXPECT_GE(waited.elapsed(), CtiFileInterface::kSettleMs);
    EXPECT_EQ(Operations(rig.phone.calls).back(), "HangUp");
    std::string garbage(1 << 20, '\0');
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 2654435761u) >> 13);
    WriteAll(rig.input, garbage);
    ASSERT_TRUE(WaitFor([&] { return !Exists(rig.input); }));
    EXPECT_EQ(rig.phone.calls.size(), 4u);

    // A record beyond what is read is not found: a huge file is garbage too.
    WriteAll(rig.input, std::string(CtiFileInterface::kMaxInputBytes, ';') + "\n[ACTION]\nCOMMAND=Answer\n"
                                                                             "PARAMETER=\nMESSAGE=\n");
    ASSERT_TRUE(WaitFor([&] { return !Exists(rig.input); }));
    EXPECT_EQ(rig.phone.calls.size(), 4u);
}

TEST(CtiFileInterface, ACommandThatPumpsMessagesRunsOnceAndTheNextOneWaitsForIt)
{
    FileRig rig;
    int ticksInside = 0;
    bool nextWritten = false;
    rig.phone.during = [&] {
        if (nextWritten)
            return;
        // The client writes its next command while this one runs; both timers tick.
        nextWritten = true;
        rig.Command("Hangup", "");
        QElapsedTimer pumping;
        pumping.start();
        WaitFor([&] { return pumping.elapsed() > 3 * CtiFileInterface::kTickMs; });
        ticksInside = 1;
    };
    rig.Command("Dial", "2001");
    rig.files.InputTick();
    EXPECT_EQ(ticksInside, 1);
    EXPECT_EQ(rig.phone.calls, (std::vector<std::string>{"Dial 2001", "end Dial 2001"}));
    EXPECT_TRUE(Exists(rig.input)) << "the next command waited";
    ASSERT_TRUE(WaitFor([&] { return !Exists(rig.input); }));
    EXPECT_EQ(Operations(rig.phone.calls), (std::vector<std::string>{"Dial 2001", "HangUp"}));

    // Nor does one start while the phone's own handler or operation runs.
    rig.phone.busy = true;
    rig.Command("Answer", "");
    rig.files.InputTick();
    EXPECT_TRUE(Exists(rig.input));
    rig.phone.busy = false;
    rig.files.InputTick();
    EXPECT_EQ(Operations(rig.phone.calls).back(), "Answer");
}

TEST(CtiFileInterface, QueuedRecordsLeaveOnePerConsumedOutputFile)
{
    FileRig rig;
    std::vector<QString> mirrors;
    QObject::connect(&rig.files, &CtiFileInterface::QueueShown, [&mirrors](const QString& text) { mirrors.push_back(text); });
    rig.queue.QueueCtiEvent("STATUS", "CONNECTING", "");
    rig.queue.QueueCtiEvent("ERROR", "FAIL TO CONNECT", "");
    rig.queue.QueueCtiEvent("nErr", "10", "You are not Online");

    rig.files.OutputTick();
    EXPECT_EQ(ReadAll(rig.output), "[ACTION]\nCOMMAND=STATUS\nPARAMETER=CONNECTING\nMESSAGE= \n");
    rig.files.OutputTick();
    rig.files.OutputTick();
    EXPECT_EQ(ReadAll(rig.output), "[ACTION]\nCOMMAND=STATUS\nPARAMETER=CONNECTING\nMESSAGE= \n")
        << "the client has not consumed it";
    EXPECT_EQ(rig.queue.Text(), "ERROR:FAIL TO CONNECT: |nErr:10:You are not Online");

    std::remove(rig.output.c_str());
    rig.files.OutputTick();
    EXPECT_EQ(ReadAll(rig.output), "[ACTION]\nCOMMAND=ERROR\nPARAMETER=FAIL TO CONNECT\nMESSAGE= \n");
    WriteAll(rig.output, ""); // emptied counts as consumed too
    rig.files.OutputTick();
    EXPECT_EQ(ReadAll(rig.output), "[ACTION]\nCOMMAND=nErr\nPARAMETER=10\nMESSAGE=You are not Online\n");
    EXPECT_EQ(rig.queue.Text(), "");
    EXPECT_EQ(mirrors, (std::vector<QString>{"\r\n0->ERROR:FAIL TO CONNECT: \r\n1->nErr:10:You are not Online",
                                             "\r\n0->nErr:10:You are not Online", ""}));

    // A direct record joins the queue while a client may be about to read the last
    // one, and replaces it once nobody has read it for kUnreadMs: the latest state shows.
    const std::string unread = ReadAll(rig.output);
    QElapsedTimer waited;
    waited.start();
    ASSERT_TRUE(rig.files.WriteCtiOutput({"INCOMING CALL", "2001", ""}));
    EXPECT_EQ(ReadAll(rig.output), unread);
    EXPECT_EQ(rig.queue.Text(), "INCOMING CALL:2001:");
    const std::string incoming = "[ACTION]\nCOMMAND=INCOMING CALL\nPARAMETER=2001\nMESSAGE=\n";
    ASSERT_TRUE(WaitFor([&] { return ReadAll(rig.output) == incoming; }));
    EXPECT_GE(waited.elapsed(), CtiFileInterface::kUnreadMs - CtiFileInterface::kTickMs);
    EXPECT_EQ(rig.queue.Text(), "");
    // Consumed, with nothing waiting: the next one is written at once.
    std::remove(rig.output.c_str());
    ASSERT_TRUE(rig.files.WriteCtiOutput({"LOST CALL", "", ""}));
    EXPECT_EQ(ReadAll(rig.output), "[ACTION]\nCOMMAND=LOST CALL\nPARAMETER=\nMESSAGE=\n");
}

TEST(CtiFileInterface, ARecordThatCannotBeWrittenStaysQueued)
{
    TempDirectory parent;
    const std::string folder = parent.File("home");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    FakePhone phone;
    CtiEventQueue queue;
    CtiCommandRunner runner(phone);
    CtiFileInterface files(folder + "/", queue, runner);
    queue.QueueCtiEvent("STATUS", "REGISTERING", "");
    ASSERT_EQ(rmdir(folder.c_str()), 0);
    files.OutputTick();
    files.OutputTick();
    EXPECT_EQ(queue.Text(), "STATUS:REGISTERING: ");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    files.OutputTick();
    EXPECT_EQ(ReadAll(folder + "/OUTPUT.INI"), "[ACTION]\nCOMMAND=STATUS\nPARAMETER=REGISTERING\nMESSAGE= \n");
    EXPECT_EQ(queue.Text(), "");
}

TEST(CtiFileInterface, FilesLeftFromBeforeTheStartAreKeptForTheFirstTick)
{
    TempDirectory folder;
    const std::string input = folder.File("INPUT.INI");
    const std::string output = folder.File("OUTPUT.INI");
    const std::string stale = "[ACTION]\nCOMMAND=STATUS\nPARAMETER=REGISTERED\nMESSAGE= \n";
    WriteAll(input, "[ACTION]\nCOMMAND=Answer\nPARAMETER=\nMESSAGE=\n");
    WriteAll(output, stale);
    FakePhone phone;
    CtiEventQueue queue;
    CtiCommandRunner runner(phone);
    CtiFileInterface files(folder.File(""), queue, runner);
    EXPECT_TRUE(Exists(input));
    EXPECT_TRUE(Exists(output));
    queue.QueueCtiEvent("STATUS", "REGISTERING", "");
    files.OutputTick();
    EXPECT_EQ(ReadAll(output), stale) << "an unconsumed record blocks the queue, whoever wrote it";
    EXPECT_EQ(queue.Text(), "STATUS:REGISTERING: ");
    files.InputTick();
    EXPECT_EQ(Operations(phone.calls), std::vector<std::string>{"Answer"}) << "a client may write before trn starts";
    EXPECT_FALSE(Exists(input));
}

TEST(CtiCommandRunner, EveryCommandOfTheTableRunsWithoutAParameter)
{
    FakePhone phone;
    CtiCommandRunner runner(phone);
    for (const CtiCommandTable::Command& command : CtiCommandTable::Commands()) {
        if (command.name == "ShutDown")
            continue;
        EXPECT_TRUE(runner.Run(command, "").has_value()) << command.name;
    }
    EXPECT_FALSE(Operations(phone.calls).empty());
}
