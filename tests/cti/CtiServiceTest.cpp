#include "cti/CtiService.h"
#include "cti/CtiSocketPath.h"
#include "platform/PrivateFolder.h"
#include "tests/cti/FakePhone.h"
#include "tests/cti/SocketClient.h"
#include "tests/platform/TempDirectory.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

namespace {

// A CTI service on a fake phone, its socket on a free port of 127.0.0.1.
struct ServiceRig {
    TempDirectory folder;
    FakePhone phone;
    CtiService service{phone, folder.File("")};
    quint16 port = SocketClient::FreePort();

    ServiceRig() { listening = service.ConfigureSocket(true, std::to_string(port), ""); }
    bool listening = false;
};

} // namespace

TEST(CtiService, AnswersEveryCommandAndTellsTheStateOfThePhone)
{
    ServiceRig rig;
    ASSERT_TRUE(rig.listening);
    EXPECT_EQ(rig.service.Server().Address(), QHostAddress(QHostAddress::LocalHost)) << "loopback unless named";
    rig.phone.status.pending = {{"a1@127.0.0.1", "2001"}};
    SocketClient client(rig.port);
    ASSERT_TRUE(client.WaitSnapshot());
    EXPECT_EQ(client.lines, QStringList({"SNAPSHOT\tREGISTRATION\tOFFLINE", "SNAPSHOT\tLINE\tRINGING",
                                         "SNAPSHOT\tPENDING\ta1@127.0.0.1\t2001", "SNAPSHOT\tPEER\t\t",
                                         "SNAPSHOT\tLASTERROR\t\t\t", "SNAPSHOT\tEND"}));

    client.SendLine("Dial 2001");
    EXPECT_FALSE(client.Next("OK Dial").isEmpty());
    rig.phone.failures = {{"Answer", 32}};
    client.SendLine("Answer");
    EXPECT_EQ(client.Next("ERROR Answer*"), "ERROR Answer 32 No pending incoming call.");
    client.Send("SendDTMF 1#\r\nHold\nRejectCall\n\ndial 5\nDial\n");
    EXPECT_FALSE(client.Next("OK SendDTMF").isEmpty());
    EXPECT_FALSE(client.Next("OK Hold").isEmpty());
    EXPECT_FALSE(client.Next("OK RejectCall").isEmpty());
    EXPECT_EQ(client.Next("ERROR *"), "ERROR dial 90 Unknown command.");
    EXPECT_EQ(client.Next("ERROR *"), "ERROR Dial 91 The command needs a parameter.");
    EXPECT_EQ(Operations(rig.phone.calls), (std::vector<std::string>{"Dial 2001", "Answer", "Digit 1", "Digit #",
                                                                     "ToggleHold", "Reject"}));

    // Events reach the client as they are produced; 3xx-6xx answers only here.
    rig.service.QueueCtiEvent("STATUS", "CONNECTING", "");
    EXPECT_FALSE(client.Next("EVENT\tSTATUS\tCONNECTING\t ").isEmpty()) << "as the queue will write it";
    rig.service.WriteCtiOutput({"STATUS", "SUCCESS TO CONNECT", ""});
    EXPECT_FALSE(client.Next("EVENT\tSTATUS\tSUCCESS TO CONNECT\t").isEmpty());
    OrvSIPUserAgentOCXEvents& control = rig.service.ControlSink();
    control.OnRequestFailureResponse(0, 404, "Not Found");
    EXPECT_FALSE(client.Next("FAILURE\t404\tNot Found\t").isEmpty());
    control.OnRedirectionResponse(0, 302, "Moved Temporarily", "<sip:2002@127.0.0.1>");
    EXPECT_FALSE(client.Next("FAILURE\t302\tMoved Temporarily\t<sip:2002@127.0.0.1>").isEmpty());
    EXPECT_EQ(rig.service.Queue().Text(), "STATUS:CONNECTING: |STATUS:SUCCESS TO CONNECT:")
        << "the direct record waits behind the queued one; the files never carry failure events";

    control.OnSuccessToRegister();
    control.OnConnecting(0);
    rig.phone.status = {true, false, "2001", "", {}, ""};
    client.SendLine("Status");
    EXPECT_FALSE(client.Next("SNAPSHOT\tREGISTRATION\tREGISTERED").isEmpty());
    EXPECT_FALSE(client.Next("SNAPSHOT\tLINE\tDIALLING").isEmpty());
    EXPECT_FALSE(client.Next("SNAPSHOT\tLASTERROR\tFAILURE\t302\tMoved Temporarily").isEmpty());
    EXPECT_FALSE(client.Next("OK Status").isEmpty());
    rig.phone.status.quality = "codec=PCMU;mos=-1";
    client.SendLine("Status");
    EXPECT_FALSE(client.Next("SNAPSHOT\tLINE\tDIALLING").isEmpty());
    EXPECT_EQ(client.Next("SNAPSHOT\t*"), "SNAPSHOT\tPEER\t2001\t") << "no figures of a call not connected";
    control.OnSuccessToConnect(0, "127.0.0.1", 7000);
    rig.phone.status.codec = "gsm711u";
    client.SendLine("Status");
    EXPECT_FALSE(client.Next("SNAPSHOT\tLINE\tCONNECTED").isEmpty());
    EXPECT_FALSE(client.Next("SNAPSHOT\tPEER\t2001\tgsm711u").isEmpty());
    EXPECT_EQ(client.Next("SNAPSHOT\t*"), "SNAPSHOT\tQUALITY\tcodec=PCMU;mos=-1");
    rig.service.PublishQuality("codec=PCMU;mos=4.4");
    EXPECT_FALSE(client.Next("QUALITY\tcodec=PCMU;mos=4.4").isEmpty());
    EXPECT_TRUE(rig.service.Queue().Text().find("QUALITY") == std::string::npos) << "the files never carry it";
    rig.service.CallEndedHere();
    client.SendLine("Status");
    EXPECT_FALSE(client.Next("SNAPSHOT\tLINE\tDIALLING").isEmpty())
        << "a new call before its first event is not the one hung up here";
    control.OnSuccessToConnect(0, "127.0.0.1", 7000);
    rig.phone.status.held = true;
    rig.service.QueueCtiEvent("nErr", "10", "You are not Online");
    client.SendLine("Status");
    EXPECT_FALSE(client.Next("SNAPSHOT\tLINE\tHELD").isEmpty());
    EXPECT_FALSE(client.Next("SNAPSHOT\tLASTERROR\tnErr\t10\tYou are not Online").isEmpty());
    control.OnDisconnectCall(0);
    rig.phone.status = {};
    client.SendLine("Status");
    EXPECT_FALSE(client.Next("SNAPSHOT\tLINE\tIDLE").isEmpty());
    EXPECT_FALSE(client.Next("SNAPSHOT\tPEER\t\t").isEmpty());

    rig.phone.calls.clear();
    rig.phone.confirmClose = false;
    client.SendLine("ShutDown");
    EXPECT_EQ(client.Next("ERROR ShutDown*"), "ERROR ShutDown 93 Closing was cancelled.");
    rig.phone.confirmClose = true;
    client.SendLine("ShutDown");
    EXPECT_FALSE(client.Next("OK ShutDown").isEmpty());
    EXPECT_EQ(rig.phone.calls, (std::vector<std::string>{"ConfirmClose", "ConfirmClose", "EndProgram"}));
}

TEST(CtiService, CommandsOfSeveralClientsRunOneAtATime)
{
    ServiceRig rig;
    ASSERT_TRUE(rig.listening);
    SocketClient first(rig.port);
    SocketClient second(rig.port);
    ASSERT_TRUE(first.WaitSnapshot() && second.WaitSnapshot());
    bool pumped = false;
    rig.phone.during = [&] {
        if (pumped)
            return;
        pumped = true;
        second.SendLine("Hangup");
        WaitFor([&] { return false; }, 400); // trn pumps messages inside its operations
    };
    first.SendLine("Dial 2001");
    EXPECT_FALSE(second.Next("OK Hangup").isEmpty());
    EXPECT_FALSE(first.Next("OK Dial").isEmpty());
    EXPECT_EQ(rig.phone.calls, (std::vector<std::string>{"Dial 2001", "end Dial 2001", "HangUp", "end HangUp"}));
}

TEST(CtiService, HostileClientsLeaveTheSocketAnsweringTheNextOne)
{
    ServiceRig rig;
    ASSERT_TRUE(rig.listening);
    SocketClient garbage(rig.port);
    ASSERT_TRUE(garbage.WaitSnapshot());
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary.append(static_cast<char>((i * 131) % 251));
    garbage.Send(binary + "\n");
    garbage.Send(QByteArray(1024 * 1024, 'x') + "\nHold\n");
    EXPECT_EQ(garbage.Next("ERROR - 92*"), "ERROR - 92 The line is longer than 1024 bytes.");
    EXPECT_FALSE(garbage.Next("OK Hold").isEmpty());
    EXPECT_EQ(garbage.lines.filter("ERROR - 92").size(), 1) << "one reply for the whole line";

    {
        SocketClient closer(rig.port); // connects and closes at once
    }
    SocketClient halfClosed(rig.port);
    halfClosed.SendLine("Answer");
    ASSERT_EQ(::shutdown(static_cast<int>(halfClosed.Socket().socketDescriptor()), SHUT_WR), 0);
    ASSERT_TRUE(WaitFor([&] { return Operations(rig.phone.calls).back() == "Answer"; }))
        << "what it sent before closing still runs";
    ASSERT_TRUE(WaitFor([&] { return rig.service.Server().ClientCount() == 1; })) << "both closed ones are gone";

    std::vector<std::unique_ptr<SocketClient>> crowd;
    for (int i = 0; i < CtiServer::kMaxClients + 3; ++i)
        crowd.push_back(std::make_unique<SocketClient>(rig.port));
    ASSERT_TRUE(WaitFor([&] { return rig.service.Server().ClientCount() == CtiServer::kMaxClients; }));
    EXPECT_GE(crowd.back()->WaitLine("ERROR - 95 Too many clients."), 0);
    crowd.clear();
    ASSERT_TRUE(WaitFor([&] { return rig.service.Server().ClientCount() == 1; })) << "only the garbage client is left";

    SocketClient next(rig.port);
    ASSERT_TRUE(next.WaitSnapshot());
    next.SendLine("Status");
    EXPECT_FALSE(next.Next("OK Status").isEmpty());
}

TEST(CtiService, TheSocketFollowsItsSettings)
{
    ServiceRig rig;
    ASSERT_TRUE(rig.listening);
    SocketClient client(rig.port);
    ASSERT_TRUE(client.WaitSnapshot());
    EXPECT_TRUE(rig.service.ConfigureSocket(true, " " + std::to_string(rig.port) + " ", "127.0.0.1"));
    client.SendLine("Status");
    EXPECT_FALSE(client.Next("OK Status").isEmpty()) << "the same settings keep the client";

    // Another address only when one is named.
    EXPECT_TRUE(rig.service.ConfigureSocket(true, std::to_string(rig.port), "127.0.0.2"));
    EXPECT_EQ(rig.service.Server().Address(), QHostAddress(QStringLiteral("127.0.0.2")));
    ASSERT_TRUE(WaitFor([&] { return !client.IsConnected(); })) << "moved: the clients of the old socket go";
    EXPECT_FALSE(SocketClient(rig.port).IsConnected());

    EXPECT_TRUE(rig.service.ConfigureSocket(true, std::to_string(rig.port), ""));
    SocketClient again(rig.port);
    ASSERT_TRUE(again.WaitSnapshot());
    EXPECT_TRUE(rig.service.ConfigureSocket(false, std::to_string(rig.port), ""));
    EXPECT_FALSE(rig.service.Server().IsListening());
    ASSERT_TRUE(WaitFor([&] { return !again.IsConnected(); }));
    SocketClient refused(rig.port);
    EXPECT_FALSE(refused.IsConnected());

    for (const char* port : {"", "0", "65536", "25a0", "-1", "99999999999"})
        EXPECT_FALSE(rig.service.ConfigureSocket(true, port, "")) << port;
    EXPECT_FALSE(rig.service.ConfigureSocket(true, "2500", "not an address"));
    EXPECT_FALSE(rig.service.Server().IsListening());
    // Beyond loopback nobody can tell who a client is: nothing listens, not even locally.
    for (const char* address : {"0.0.0.0", "::", "192.0.2.7"}) {
        EXPECT_FALSE(rig.service.ConfigureSocket(true, std::to_string(rig.port), address)) << address;
        EXPECT_FALSE(rig.service.Server().IsListening());
        EXPECT_TRUE(rig.service.LocalSocketPath().isEmpty());
    }
}

// A folder too deep for a socket address of its own has its socket in the user's
// runtime folder, where ctiprobe looks for it too.
TEST(CtiService, ASocketPathTooLongGoesToTheRuntimeFolder)
{
    TempDirectory runtime;
    const std::string runtimePath = runtime.File("").substr(0, runtime.File("").size() - 1);
    setenv("XDG_RUNTIME_DIR", runtimePath.c_str(), 1);
    TempDirectory parent;
    const std::string folder = parent.File(std::string(120, 'f') + "/");
    ASSERT_TRUE(PrivateFolder::Create(folder));
    FakePhone phone;
    CtiService service(phone, folder);
    ASSERT_TRUE(service.ConfigureSocket(true, std::to_string(SocketClient::FreePort()), ""));
    const QString path = service.LocalSocketPath();
    EXPECT_TRUE(path.startsWith(QString::fromStdString(runtimePath + "/orvsip/")) && path.endsWith(".sock"))
        << path.toStdString();
    EXPECT_EQ(path, CtiSocketPath::For(QString::fromStdString(folder)));
    EXPECT_TRUE(PrivateFolder::IsPrivate(runtimePath + "/orvsip"));
    SocketClient client(path);
    EXPECT_TRUE(client.WaitSnapshot());
    unsetenv("XDG_RUNTIME_DIR");
}
