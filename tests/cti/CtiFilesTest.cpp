// trn driven through INPUT.INI and OUTPUT.INI by a client written here, against
// kamailio and baresip on loopback.
#include "cti/CtiService.h"
#include "tests/cti/FileClient.h"
#include "tests/cti/SocketClient.h"
#include "tests/softphone/Peers.h"
#include "tests/softphone/SoftphoneHarness.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

class CtiFilesTest : public QObject {
    Q_OBJECT

private slots:
    void drivesACallThroughTheFiles();
    void queuedRecordsWaitForTheClient();
    void shutDownAsksFirstAndEndsTrn();
};

namespace {

const QJsonObject kUsers{{"1001", "secret"}, {"2001", "secret2"}};
constexpr int kSipWaitMs = 15000;
constexpr int kTickMs = CtiFileInterface::kTickMs;
// A proxy nobody answers: no registration, no control events.
const QString kSilentProxy = QStringLiteral("127.0.0.1:9");

// How many calls trn placed with INVITEs starting so (a challenged INVITE is sent
// again in the same call).
int Calls(const SoftphoneHarness& trn, const QString& start)
{
    QSet<QString> callIds;
    for (const QString& invite : SipTrace::Starting(trn.trace.sent, start)) {
        const qsizetype at = invite.indexOf("\nCall-ID: ");
        callIds.insert(invite.mid(at, invite.indexOf('\n', at + 1) - at));
    }
    return static_cast<int>(callIds.size());
}

} // namespace

void CtiFilesTest::drivesACallThroughTheFiles()
{
    Peers peers(kUsers, "2001", "secret2", "auto");
    QVERIFY(peers.IsReady());
    SoftphoneHarness trn;
    trn.WriteSettings(peers.Proxy());
    FileClient client(trn.home.File(""));
    trn.Load();
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Registered"), kSipWaitMs);
    QTRY_VERIFY(client.IndexOf("STATUS|REGISTERED|") >= 0);
    const QString invite = "INVITE sip:2001@" + peers.Proxy() + " ";

    client.Command("Dial", "2001");
    QTRY_VERIFY_WITH_TIMEOUT(client.IndexOf("STATUS|SUCCESS TO CONNECT|") >= 0, kSipWaitMs);
    QVERIFY(!client.InputExists());
    QCOMPARE(trn.Display(), QString("2001"));
    QCOMPARE(Calls(trn, invite), 1);
    QVERIFY(!peers.WaitBaresipEvent("CALL_ESTABLISHED").isEmpty());
    // CONNECTING is queued, SUCCESS TO CONNECT written at once: CONNECTING comes first
    // only when the client took it before the call was answered.
    const int connecting = client.IndexOf("STATUS|CONNECTING|");
    const int connected = client.IndexOf("STATUS|SUCCESS TO CONNECT|");
    if (connecting >= 0 && connecting < connected)
        QVERIFY(client.times[connecting] <= client.times[connected]);

    client.Command("SendDTMF", "12#");
    for (const char* digit : {"1", "2", "#"}) {
        const QJsonObject event = peers.WaitBaresipEvent("CALL_DTMF_START");
        QCOMPARE(event.value("param").toString(), QString(digit));
    }
    client.Command("Hold");
    QTRY_VERIFY_WITH_TIMEOUT(client.IndexOf("Response|Hold|Hold line OK") >= 0, kSipWaitMs);
    QCOMPARE(trn.HoldCaption(), QString("Unhold"));
    QTRY_VERIFY_WITH_TIMEOUT(trn.Window().Control().IsLineHold(0), kSipWaitMs);
    client.Command("Hold");
    QTRY_VERIFY_WITH_TIMEOUT(client.IndexOf("Response|Hold|Unhold line OK") >= 0, kSipWaitMs);
    client.Command("Hangup");
    QTRY_VERIFY_WITH_TIMEOUT(client.IndexOf("HANGUP|CALL DISCONECTED|") >= 0, kSipWaitMs);
    QVERIFY(client.texts[client.IndexOf("HANGUP|CALL DISCONECTED|")].endsWith("\nMESSAGE= \n"));
    QVERIFY(!peers.WaitBaresipEvent("CALL_CLOSED").isEmpty());

    // Names compare exactly; a command that is not one, or none, is deleted unrun.
    client.Command("dial", "2001");
    QTRY_VERIFY(!client.InputExists());
    client.Command("", "2001");
    QTRY_VERIFY(!client.InputExists());
    client.Write("");
    QTest::qWait(3 * kTickMs);
    QVERIFY2(client.InputExists(), "a zero-length INPUT.INI is neither run nor deleted");
    QCOMPARE(Calls(trn, invite), 1);

    // Written in three pieces with pauses: the command runs whole, once.
    client.Write("[ACTION]\nCOMMAND=Dial\n");
    QTest::qWait(kTickMs / 2);
    client.Write("PARAMETER=2001\n", QIODevice::Append);
    QTest::qWait(kTickMs / 2);
    client.Write("MESSAGE=\n", QIODevice::Append);
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Conected"), kSipWaitMs);
    QCOMPARE(Calls(trn, invite), 2);
    QVERIFY(trn.boxes.Take().isEmpty()); // never "A number must be informed"
    QVERIFY(!peers.WaitBaresipEvent("CALL_ESTABLISHED").isEmpty());
    client.Command("Hangup");
    QTRY_VERIFY(!client.InputExists());
    QVERIFY(!peers.WaitBaresipEvent("CALL_CLOSED").isEmpty());

    // The client stops reading: a queued record (here the error of a "Hangup"
    // without a call) waits in OUTPUT.INI, and an incoming call writes over it.
    client.StopReading();
    client.Command("Hangup");
    QTRY_VERIFY(QFile::exists(trn.home.File("OUTPUT.INI")));
    const QString waiting = trn.OutputRecord();
    QTest::qWait(2 * kTickMs);
    QCOMPARE(trn.OutputRecord(), waiting);
    QVERIFY2(!waiting.startsWith("INCOMING CALL"), qPrintable(waiting));
    peers.Baresip("dial", "sip:1001@" + peers.Proxy());
    QTRY_COMPARE_WITH_TIMEOUT(trn.OutputRecord(), QString("INCOMING CALL|2001|"), kSipWaitMs);
    client.StartReading();
    client.Command("RejectCall");
    const QJsonObject closed = peers.WaitBaresipEvent("CALL_CLOSED");
    QVERIFY2(closed.value("param").toString().contains("486"), qPrintable(closed.value("param").toString()));
    QCOMPARE(trn.Status(), QString("Call Rejected"));
}

void CtiFilesTest::queuedRecordsWaitForTheClient()
{
    SoftphoneHarness trn;
    trn.WriteSettings(kSilentProxy);
    FileClient client(trn.home.File(""));
    client.StopReading();
    OrvSIPUserAgentOCXEvents& events = trn.Create(); // not loaded: the control says nothing itself
    const QString output = trn.home.File("OUTPUT.INI");
    events.OnConnecting(0);
    events.OnFailToConnect(0);
    events.OnGeneralFailureResponse(0, 600, "Busy Everywhere");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(output), 2 * kTickMs);
    QCOMPARE(trn.OutputRecord(), QString("STATUS|CONNECTING|"));
    QCOMPARE(trn.home.ReadFile("OUTPUT.INI"), QString("[ACTION]\nCOMMAND=STATUS\nPARAMETER=CONNECTING\nMESSAGE= \n"));
    QTest::qWait(3 * kTickMs);
    QCOMPARE(trn.OutputRecord(), QString("STATUS|CONNECTING|")); // the second waits for the client
    QPlainTextEdit* mirror = trn.Window().findChild<QPlainTextEdit*>("txt_arr_sendsock");
    QVERIFY(mirror != nullptr);
    QCOMPARE(mirror->toPlainText(), QString("\n0->ERROR:FAIL TO CONNECT: \n1->ERROR:GENERAL SISTEM ERROR: "));

    QElapsedTimer sinceDeletion;
    QFile::remove(output);
    sinceDeletion.start();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(output), 2 * kTickMs);
    QCOMPARE(trn.OutputRecord(), QString("ERROR|FAIL TO CONNECT|"));
    QFile::remove(output);
    sinceDeletion.restart();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(output), 2 * kTickMs);
    QVERIFY2(sinceDeletion.elapsed() >= kTickMs / 2, "one record per tick");
    QCOMPARE(trn.OutputRecord(), QString("ERROR|GENERAL SISTEM ERROR|"));
    QCOMPARE(mirror->toPlainText(), QString());

    // Direct records do not wait: an incoming call replaces the unconsumed record.
    events.OnIncomingCall("c1@127.0.0.1", "", "2001", "sip:2001@127.0.0.1", "sip:1001@127.0.0.1");
    QCOMPARE(trn.OutputRecord(), QString("INCOMING CALL|2001|"));
    QCOMPARE(trn.home.ReadFile("OUTPUT.INI"), QString("[ACTION]\nCOMMAND=INCOMING CALL\nPARAMETER=2001\nMESSAGE=\n"));
}

void CtiFilesTest::shutDownAsksFirstAndEndsTrn()
{
    {
        SoftphoneHarness trn;
        trn.WriteSettings(kSilentProxy, {{"ConfirmBeforeClose=0", "ConfirmBeforeClose=1"}});
        FileClient client(trn.home.File(""));
        frmSoftphone& window = trn.Load();
        client.Command("ShutDown");
        QTRY_VERIFY(!client.InputExists());
        QCOMPARE(trn.boxes.Take(), QStringList({"Are you sure you want close?"})); // answered No
        QVERIFY(window.isVisible());
    }

    // Without confirmation trn ends, every trn of the user: a copy of trn under a
    // name of its own, so that no other test's program shares it.
    QTemporaryDir folder;
    const QString copy = folder.filePath(QStringLiteral("trncti%1").arg(QCoreApplication::applicationPid()));
    QVERIFY(QFile::copy(QStringLiteral(ORVSIP_TRN), copy));
    for (const bool overSocket : {false, true}) {
        TestHome home;
        const quint16 port = SocketClient::FreePort();
        SoftphoneHarness settings;
        settings.WriteSettings(kSilentProxy, {{"EnableCTITCP=False\nEnableCTIXML=True", "EnableCTITCP=True\nEnableCTIXML=False"},
                                              {"TCPPort=2500", QStringLiteral("TCPPort=%1").arg(port)}});
        QProcess trn;
        trn.setProcessChannelMode(QProcess::ForwardedChannels);
        trn.start(copy, {});
        QVERIFY(trn.waitForStarted());
        std::unique_ptr<SocketClient> client;
        QTRY_VERIFY_WITH_TIMEOUT((client = std::make_unique<SocketClient>(port))->IsConnected(), 20000);
        QVERIFY(client->WaitSnapshot()); // trn is up
        if (overSocket) {
            client->SendLine("ShutDown");
            QVERIFY(!client->Next("OK ShutDown").isEmpty());
        } else {
            FileClient(settings.home.File("")).Command("ShutDown");
        }
        QVERIFY(trn.waitForFinished(20000));
        QCOMPARE(trn.exitStatus(), QProcess::CrashExit); // ended by its own kill
        QVERIFY(!QFile::exists(settings.home.File("INPUT.INI")));
    }
}

QTEST_MAIN(CtiFilesTest)
#include "CtiFilesTest.moc"
