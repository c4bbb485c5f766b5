// trn driven over its CTI socket by clients written here, against kamailio and
// baresip on loopback.
#include "cti/CtiService.h"
#include "softphone/frmSettings.h"
#include "tests/cti/SocketClient.h"
#include "tests/softphone/Child.h"
#include "tests/softphone/Peers.h"
#include "tests/softphone/SoftphoneHarness.h"

#include <QCheckBox>
#include <QFile>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <arpa/inet.h>

class CtiSocketTest : public QObject {
    Q_OBJECT

private slots:
    void snapshotAnswerAndFailures();
    void manyClientsAndHostileOnes();
    void listensOnlyWhenTheSettingsSaySo();
    void servesOnlyItsOwnUser();
};

namespace {

const QJsonObject kUsers{{"1001", "secret"}, {"2001", "secret2"}};
constexpr int kSipWaitMs = 15000;
const QString kSilentProxy = QStringLiteral("127.0.0.1:9");

QList<QPair<QString, QString>> TcpOn(quint16 port)
{
    return {{"EnableCTITCP=False\nEnableCTIXML=True", "EnableCTITCP=True\nEnableCTIXML=False"},
            {"TCPPort=2500", QStringLiteral("TCPPort=%1").arg(port)}};
}

// The moment the control's connect event reached its sinks.
class ConnectClock : public OrvSIPUserAgentOCXEvents {
public:
    void OnSuccessToConnect(int, const std::string&, int) override { connectedAt = SocketClient::NowMs(); }
    qint64 connectedAt = 0;
};

// The local addresses of the sockets listening on `port`, as /proc/net/tcp and tcp6
// list them (hexadecimal, "0100007F" for 127.0.0.1).
QStringList ListeningAddresses(quint16 port)
{
    QStringList addresses;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile file(QString::fromLatin1(table));
        file.open(QIODevice::ReadOnly);
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 4 || fields[3] != "0A")
                continue;
            const QList<QByteArray> local = fields[1].split(':');
            if (local.size() == 2 && local[1].toUShort(nullptr, 16) == port)
                addresses.append(QString::fromLatin1(local[0]));
        }
    }
    return addresses;
}

// A client that connects and then never reads, with a small receive buffer.
int ConnectWithoutReading(quint16 port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int small = 4096;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

void CtiSocketTest::snapshotAnswerAndFailures()
{
    Peers peers(kUsers, "2001", "secret2", "manual");
    QVERIFY(peers.IsReady());
    const quint16 port = SocketClient::FreePort();
    SoftphoneHarness trn;
    trn.WriteSettings(peers.Proxy(), TcpOn(port));
    ConnectClock clock;
    trn.Create().Control().Advise(&clock);
    trn.Window().FormLoad();
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Registered"), kSipWaitMs);
    SocketClient early(port);
    QVERIFY(early.WaitSnapshot());
    QVERIFY(early.lines.contains("SNAPSHOT\tREGISTRATION\tREGISTERED"));
    QVERIFY(early.lines.contains("SNAPSHOT\tLINE\tIDLE"));

    // A client that starts while a call rings learns of the call and its caller.
    peers.Baresip("dial", "sip:1001@" + peers.Proxy());
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Incoming Call"), kSipWaitMs);
    QVERIFY(!early.Next("EVENT\tINCOMING CALL\t2001\t").isEmpty());
    SocketClient late(port);
    QVERIFY(late.WaitSnapshot());
    QCOMPARE(trn.PendingCallIds().size(), 1);
    QVERIFY2(late.lines.contains("SNAPSHOT\tLINE\tRINGING"), qPrintable(late.lines.join('\n')));
    QVERIFY(late.lines.contains("SNAPSHOT\tPENDING\t" + trn.PendingCallIds().first() + "\t2001"));

    late.SendLine("Answer");
    QVERIFY(!late.Next("OK Answer").isEmpty());
    QVERIFY(!late.Next("EVENT\tSTATUS\tSUCCESS TO CONNECT\t").isEmpty());
    const int connected = early.WaitLine("EVENT\tSTATUS\tSUCCESS TO CONNECT\t");
    QVERIFY(connected >= 0);
    QVERIFY(clock.connectedAt > 0);
    QVERIFY2(early.arrivals[connected] - clock.connectedAt < 50,
             qPrintable(QString::number(early.arrivals[connected] - clock.connectedAt)));
    QVERIFY(!peers.WaitBaresipEvent("CALL_ESTABLISHED").isEmpty());
    late.SendLine("Status");
    QVERIFY(!late.Next("SNAPSHOT\tLINE\tCONNECTED").isEmpty());
    QVERIFY(!late.Next("SNAPSHOT\tPEER\t2001\tgsm711u").isEmpty());
    QVERIFY(!late.Next("OK Status").isEmpty());

    late.SendLine("Hold");
    QVERIFY(!late.Next("EVENT\tResponse\tHold\tHold line OK").isEmpty());
    QVERIFY(!late.Next("OK Hold").isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(trn.Window().Control().IsLineHold(0), kSipWaitMs);
    late.SendLine("Status");
    QVERIFY(!late.Next("SNAPSHOT\tLINE\tHELD").isEmpty());
    late.SendLine("Hangup");
    QVERIFY(!late.Next("EVENT\tHANGUP\tCALL DISCONECTED\t ").isEmpty());
    QVERIFY(!late.Next("OK Hangup").isEmpty());
    QVERIFY(!peers.WaitBaresipEvent("CALL_CLOSED").isEmpty());

    late.SendLine("Answer");
    QCOMPARE(late.Next("ERROR Answer*"), QString("ERROR Answer 32 No pending incoming call."));
    late.SendLine("Dial 4040"); // nobody registered as 4040: kamailio answers 404
    QVERIFY(!late.Next("OK Dial").isEmpty());
    QCOMPARE(late.Next("FAILURE\t*", kSipWaitMs), QString("FAILURE\t404\tNot Found\t"));
    QVERIFY(!early.Next("FAILURE\t404\tNot Found\t").isEmpty());
    QVERIFY2(trn.Window().CtiQueue().Text().find("404") == std::string::npos, "the files never carry it");
    late.SendLine("Status");
    QCOMPARE(late.Next("SNAPSHOT\tLASTERROR\t*"), QString("SNAPSHOT\tLASTERROR\tFAILURE\t404\tNot Found"));

    // The example client of the README dials, waits for the connection, hangs up: over
    // TCP and over the Unix-domain socket.
    const QStringList ways[] = {{"--port", QString::number(port)}, {"--unix", trn.home.File("cti.sock")}};
    for (const QStringList& way : ways) {
        QProcess example;
        example.setProcessChannelMode(QProcess::MergedChannels);
        example.start(QStringLiteral("python3"), QStringList{QStringLiteral(ORVSIP_EXAMPLES "/cti_client.py")} + way +
                                                     QStringList{"2001"});
        QVERIFY(!peers.WaitBaresipEvent("CALL_INCOMING").isEmpty());
        peers.Baresip("accept");
        // Talking to baresip runs the event loop, which may already have seen the client end.
        QVERIFY(example.state() == QProcess::NotRunning || example.waitForFinished(kSipWaitMs));
        QCOMPARE(example.error(), QProcess::UnknownError);
        const QString printed = QString::fromUtf8(example.readAll());
        QVERIFY2(example.exitCode() == 0, qPrintable(printed));
        QVERIFY2(printed.contains("EVENT | STATUS | SUCCESS TO CONNECT") && printed.contains("OK Hangup"),
                 qPrintable(printed));
        QVERIFY(!peers.WaitBaresipEvent("CALL_CLOSED").isEmpty());
    }

    // A SIP URI is called as it is; any other text is an escaped user part at the proxy.
    late.SendLine("Dial 2001@" + peers.Proxy());
    QVERIFY(!late.Next("OK Dial").isEmpty());
    QVERIFY(!peers.WaitBaresipEvent("CALL_INCOMING").isEmpty());
    QVERIFY(!SipTrace::Starting(trn.trace.sent, "INVITE sip:2001@" + peers.Proxy() + " SIP/2.0").isEmpty());
    late.SendLine("Hangup");
    QVERIFY(!late.Next("OK Hangup").isEmpty());
    QVERIFY(!peers.WaitBaresipEvent("CALL_CLOSED").isEmpty());
    for (const auto& [dialled, called] : {std::pair<QString, QString>{"sip:x", "sip:x"},
                                          {"a b#", "sip:a%20b%23@" + peers.Proxy()}}) {
        late.SendLine("Dial " + dialled);
        QVERIFY(!late.Next("OK Dial").isEmpty());
        QVERIFY2(!SipTrace::Starting(trn.trace.sent, "INVITE " + called + " SIP/2.0").isEmpty(), qPrintable(called));
        late.SendLine("Hangup"); // the call ends, whether the proxy has refused it yet or not
        QVERIFY(!late.Next("* Hangup*").isEmpty());
    }
    const qsizetype invites = SipTrace::Starting(trn.trace.sent, "INVITE ").size();
    late.SendLine("Dial sip:");
    QCOMPARE(late.Next("ERROR Dial*"), QString("ERROR Dial 96 The number is not a valid SIP URI."));
    QCOMPARE(SipTrace::Starting(trn.trace.sent, "INVITE ").size(), invites);
    QCOMPARE(trn.boxes.Take().filter("A number must be informed").size(), 1);
}

void CtiSocketTest::manyClientsAndHostileOnes()
{
    const quint16 port = SocketClient::FreePort();
    SoftphoneHarness trn;
    trn.WriteSettings(kSilentProxy, TcpOn(port));
    OrvSIPUserAgentOCXEvents& events = trn.Load();
    QCOMPARE(ListeningAddresses(port), QStringList({"0100007F"})); // 127.0.0.1 alone

    std::vector<std::unique_ptr<SocketClient>> clients;
    for (int i = 0; i < 8; ++i) {
        clients.push_back(std::make_unique<SocketClient>(port));
        QVERIFY(clients.back()->WaitSnapshot());
    }
    const int stalled = ConnectWithoutReading(port);
    QVERIFY(stalled >= 0);
    CtiServer& server = trn.Window().Cti().Server();
    QTRY_COMPARE(server.ClientCount(), 9);

    constexpr int kEvents = 10000;
    for (int i = 0; i < kEvents; ++i)
        events.OnServerFailureResponse(0, 500, "R" + std::to_string(i));
    for (const auto& client : clients) {
        QVERIFY(client->WaitLine(QStringLiteral("EVENT\tSERVER ERROR\tCODE 500\tR%1").arg(kEvents - 1), 0, 30000) > 0);
        QCOMPARE(client->lines.filter("EVENT\tSERVER ERROR").size(), kEvents);
    }
    QCOMPARE(server.ClientCount(), 8); // the one that stopped reading was dropped
    QVERIFY2(server.PeakPendingBytes() <= CtiClient::kMaxPendingBytes + 100,
             qPrintable(QString::number(server.PeakPendingBytes())));
    close(stalled);

    // Garbage, a 1 MB line and a client gone at once leave trn answering the next one.
    clients[0]->Send(QByteArray("\x00\xff\x13garbage\x7f\n", 13));
    QVERIFY(!clients[0]->Next("ERROR - 90*").isEmpty());
    clients[1]->Send(QByteArray(1024 * 1024, 'A') + "\n");
    QVERIFY(!clients[1]->Next("ERROR - 92*").isEmpty());
    {
        SocketClient gone(port);
    }
    clients.clear();
    SocketClient next(port);
    QVERIFY(next.WaitSnapshot());
    next.SendLine("Status");
    QVERIFY(!next.Next("OK Status").isEmpty());
    QTRY_COMPARE(server.ClientCount(), 1);
}

void CtiSocketTest::listensOnlyWhenTheSettingsSaySo()
{
    const quint16 port = SocketClient::FreePort();
    SoftphoneHarness trn;
    trn.WriteSettings(kSilentProxy, {{"TCPPort=2500", QStringLiteral("TCPPort=%1").arg(port)},
                                     {"EnableCTITCP=False\nEnableCTIXML=True", "EnableCTITCP=True\nEnableCTIXML=False"},
                                     {"EnableCTI=1", "EnableCTI=0"}});
    frmSoftphone& window = trn.Load();
    QVERIFY(ListeningAddresses(port).isEmpty()); // "Enable CTI" unticked
    SocketClient refused(port);
    QVERIFY(!refused.IsConnected());
    QVERIFY(!trn.home.ReadFile("TARN.INI").isEmpty());

    // The settings dialog turns it on; "Apply" restarts the phone with it.
    QTimer::singleShot(0, &window.Settings(), [&] {
        Child<QCheckBox>(window.Settings(), "chkEnableCTI")->setChecked(true);
        QVERIFY(Child<QRadioButton>(window.Settings(), "optCTITCP")->isEnabled());
        Child<QPushButton>(window.Settings(), "cmdApply")->click();
    });
    trn.Click("cmdMenu");
    QTRY_COMPARE(ListeningAddresses(port), QStringList({"0100007F"}));
    SocketClient accepted(port);
    QVERIFY(accepted.WaitSnapshot());

    QTimer::singleShot(0, &window.Settings(), [&] {
        Child<QRadioButton>(window.Settings(), "optCTIXML")->setChecked(true);
        Child<QPushButton>(window.Settings(), "cmdApply")->click();
    });
    trn.Click("cmdMenu");
    QTRY_VERIFY(ListeningAddresses(port).isEmpty());
    QTRY_VERIFY(!accepted.IsConnected());
}

namespace {

// A client run as another user (nobody): it connects, asks for a call at once and
// prints how many bytes trn sent it, and whether trn closed the connection.
QString DialAsNobody(const QString& kind, const QString& target)
{
    const char* script = R"(
import socket, sys
kind, target = sys.argv[1], sys.argv[2]
if kind == "tcp":
    client = socket.create_connection(("127.0.0.1", int(target)), timeout=5)
else:
    client = socket.socket(socket.AF_UNIX)
    client.settimeout(5)
    client.connect(target)
received, ending = b"", "closed"
try:
    client.sendall(b"Dial 2001\n")
    while True:
        data = client.recv(4096)
        if not data:
            break
        received += data
except socket.timeout:
    ending = "open"
except OSError:
    pass
print(len(received), ending)
)";
    QProcess client;
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    client.start(QStringLiteral("setpriv"), {"--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/python3", "-c",
                                             QString::fromLatin1(script), kind, target});
    // trn answers from this thread's loop: it runs while the client does.
    QDeadlineTimer deadline(15000);
    while (client.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(20);
    return QString::fromUtf8(client.readAllStandardOutput()).trimmed();
}

} // namespace

void CtiSocketTest::servesOnlyItsOwnUser()
{
    // Both options ticked, as an older tool may write them: the socket opens.
    const quint16 port = SocketClient::FreePort();
    SoftphoneHarness trn;
    trn.WriteSettings(kSilentProxy, {{"EnableCTITCP=False", "EnableCTITCP=True"},
                                     {"TCPPort=2500", QStringLiteral("TCPPort=%1").arg(port)}});
    trn.Load();
    QCOMPARE(ListeningAddresses(port), QStringList({"0100007F"}));
    const QString path = trn.home.File("cti.sock");
    QCOMPARE(trn.Window().Cti().LocalSocketPath(), path);
    struct stat socketFile {};
    QVERIFY(stat(qPrintable(path), &socketFile) == 0 && (socketFile.st_mode & 077) == 0);
    SocketClient tcp(port);
    SocketClient local(path);
    for (SocketClient* own : {&tcp, &local}) {
        QVERIFY(own->WaitSnapshot());
        own->SendLine("Status");
        QVERIFY(!own->Next("OK Status").isEmpty());
    }

    // No address beyond loopback: nobody can tell who a client there is.
    {
        qputenv("TRN_CTI_ADDRESS", "0.0.0.0");
        const quint16 elsewhere = SocketClient::FreePort();
        SoftphoneHarness exposed;
        exposed.WriteSettings(kSilentProxy, TcpOn(elsewhere));
        exposed.Load();
        qunsetenv("TRN_CTI_ADDRESS");
        QVERIFY(ListeningAddresses(elsewhere).isEmpty());
        QVERIFY(!QFile::exists(exposed.home.File("cti.sock")));
    }

    if (getuid() != 0)
        QSKIP("playing another user needs root");
    // The folder and the socket open to everyone (a test hook): only the peer check
    // stands between another user and the phone.
    QVERIFY(chmod(qPrintable(trn.home.File("")), 0711) == 0 && chmod(qPrintable(path), 0777) == 0);
    QCOMPARE(DialAsNobody("tcp", QString::number(port)), QString("0 closed"));
    QCOMPARE(DialAsNobody("unix", path), QString("0 closed"));
    QCOMPARE(trn.Window().Cti().Server().RefusedCount(), 2);
    QTest::qWait(300);
    QVERIFY(SipTrace::Starting(trn.trace.sent, "INVITE ").isEmpty());
    tcp.SendLine("Dial 2001");
    QVERIFY(!tcp.Next("OK Dial").isEmpty());
    QVERIFY(!SipTrace::Starting(trn.trace.sent, "INVITE sip:2001@" + kSilentProxy).isEmpty());
}

QTEST_MAIN(CtiSocketTest)
#include "CtiSocketTest.moc"
