// trn driven through INPUT.INI and OUTPUT.INI by a client written here, against
// kamailio and baresip on loopback.
#include "cti/CtiService.h"
#include "softphone/frmSettings.h"
#include "tests/cti/FileClient.h"
#include "tests/cti/SocketClient.h"
#include "tests/softphone/Child.h"
#include "tests/softphone/Peers.h"
#include "tests/softphone/SoftphoneHarness.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class CtiFilesTest : public QObject {
    Q_OBJECT

private slots:
    void drivesACallThroughTheFiles();
    void queuedRecordsWaitForTheClient();
    void everyRecordReachesAReadingClient();
    void filesAreTheOwnersAloneAndLinksAreNotFollowed();
    void shutDownAsksFirstAndEndsEveryCopy();
};

namespace {

const QJsonObject kUsers{{"1001", "secret"}, {"2001", "secret2"}};
constexpr int kSipWaitMs = 15000;
constexpr int kTickMs = CtiFileInterface::kTickMs;
// A proxy nobody answers: no registration, no control events.
const QString kSilentProxy = QStringLiteral("127.0.0.1:9");

QList<QPair<QString, QString>> TcpOn(quint16 port)
{
    return {{"EnableCTITCP=False\nEnableCTIXML=True", "EnableCTITCP=True\nEnableCTIXML=False"},
            {"TCPPort=2500", QStringLiteral("TCPPort=%1").arg(port)}};
}

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

// A second sink on the control whose incoming-call event takes its time: inside it the
// client writes "Answer", and trn must not answer before the event is over.
class SlowRinging : public OrvSIPUserAgentOCXEvents {
public:
    SlowRinging(FileClient& client, const SipTrace& trace) : client_(client), trace_(trace) {}

    void OnIncomingCall(const std::string&, const std::string&, const std::string&, const std::string&,
                        const std::string&) override
    {
        const qsizetype answers = SipTrace::Starting(trace_.sent, "SIP/2.0 200").size();
        client_.Command("Answer");
        QTest::qWait(3 * kTickMs);
        answeredInside = SipTrace::Starting(trace_.sent, "SIP/2.0 200").size() != answers;
        ran = true;
    }

    bool ran = false;
    bool answeredInside = false;

private:
    FileClient& client_;
    const SipTrace& trace_;
};

unsigned ModeOf(const QString& path)
{
    struct stat info {};
    lstat(qPrintable(path), &info);
    return info.st_mode & 0777;
}

bool IsRegularFile(const QString& path)
{
    struct stat info {};
    return lstat(qPrintable(path), &info) == 0 && S_ISREG(info.st_mode);
}

// A client as many are written: it reads OUTPUT.INI, then deletes it, and prints each
// record as COMMAND|PARAMETER|MESSAGE.
const char* const kReadThenDelete = R"(
import os, sys, time
path = sys.argv[1]
print("ready", flush=True)
while True:
    try:
        with open(path) as record:
            text = record.read()
    except OSError:
        text = ""
    if not text:
        time.sleep(0.001)
        continue
    time.sleep(0.002)
    os.remove(path)
    values = dict(line.split("=", 1) for line in text.split("\n") if "=" in line)
    print("|".join(values.get(key, "") for key in ("COMMAND", "PARAMETER", "MESSAGE")), flush=True)
)";

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

    // Torn writes: a pause inside the number; keys in another order, the last one cut
    // short. Each dials 2001 once it is whole, never 20.
    const QString torn = "INVITE sip:20@" + peers.Proxy() + " ";
    const std::tuple<const char*, int, const char*> pieces[] = {
        {"[ACTION]\nCOMMAND=Dial\nPARAMETER=20", 700, "01\nMESSAGE=\n"},
        {"[ACTION]\nMESSAGE=\nCOMMAND=Dial\nPARAMETER=20", 150, "01\n"}};
    for (const auto& [first, pauseMs, rest] : pieces) {
        const int calls = Calls(trn, invite);
        client.Write(first);
        QTest::qWait(pauseMs);
        client.Write(rest, QIODevice::Append);
        QVERIFY(!peers.WaitBaresipEvent("CALL_ESTABLISHED").isEmpty());
        QCOMPARE(Calls(trn, invite), calls + 1);
        QCOMPARE(Calls(trn, torn), 0);
        client.Command("Hangup");
        QVERIFY(!peers.WaitBaresipEvent("CALL_CLOSED").isEmpty());
    }

    // A folder in the name the claim of this process once had stops nothing; a whole
    // record runs at the next tick.
    QVERIFY(QDir().mkdir(trn.home.File(QStringLiteral("INPUT.INI.%1").arg(QCoreApplication::applicationPid()))));
    client.Command("Dial", "2001");
    QTRY_VERIFY_WITH_TIMEOUT(!client.InputExists(), 2 * kTickMs);
    QVERIFY(!peers.WaitBaresipEvent("CALL_ESTABLISHED").isEmpty());
    client.Command("Hangup");
    QVERIFY(!peers.WaitBaresipEvent("CALL_CLOSED").isEmpty());

    // An "Answer" written while the incoming call's event is still being handled waits
    // for it: the records read INCOMING CALL, then SUCCESS TO CONNECT.
    SlowRinging slow(client, trn.trace);
    const int cookie = trn.Window().Control().Advise(&slow);
    const int before = static_cast<int>(client.records.size());
    peers.Baresip("dial", "sip:1001@" + peers.Proxy());
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Conected"), kSipWaitMs);
    QVERIFY(slow.ran);
    QVERIFY(!slow.answeredInside);
    QTRY_VERIFY_WITH_TIMEOUT(client.IndexOf("INCOMING CALL|2001|", before) >= 0, kSipWaitMs);
    const int ringing = client.IndexOf("INCOMING CALL|2001|", before);
    QTRY_VERIFY_WITH_TIMEOUT(client.IndexOf("STATUS|SUCCESS TO CONNECT|", ringing) >= 0, kSipWaitMs);
    trn.Window().Control().Unadvise(cookie);
    client.Command("Hangup");
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

    // A direct record does not land on a record a client may be about to read; nobody
    // reads this one, and once it has waited kUnreadMs the latest state shows.
    events.OnIncomingCall("c1@127.0.0.1", "", "2001", "sip:2001@127.0.0.1", "sip:1001@127.0.0.1");
    QCOMPARE(trn.OutputRecord(), QString("ERROR|GENERAL SISTEM ERROR|"));
    QTRY_COMPARE_WITH_TIMEOUT(trn.OutputRecord(), QString("INCOMING CALL|2001|"), trn.kDirectRecordMs);
    QCOMPARE(trn.home.ReadFile("OUTPUT.INI"), QString("[ACTION]\nCOMMAND=INCOMING CALL\nPARAMETER=2001\nMESSAGE=\n"));
}

void CtiFilesTest::everyRecordReachesAReadingClient()
{
    SoftphoneHarness trn;
    trn.WriteSettings(kSilentProxy);
    OrvSIPUserAgentOCXEvents& events = trn.Create();
    CtiService& cti = trn.Window().Cti();
    const quint16 port = SocketClient::FreePort();
    QVERIFY(cti.ConfigureSocket(true, std::to_string(port), ""));
    SocketClient socket(port);
    QVERIFY(socket.WaitSnapshot());
    QProcess reader;
    reader.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    reader.start(QStringLiteral("python3"), {"-u", "-c", kReadThenDelete, trn.home.File("OUTPUT.INI")});
    QVERIFY(reader.waitForReadyRead(10000));
    QCOMPARE(reader.readLine().trimmed(), QByteArray("ready"));

    // 200 calls' records, queued and direct, while the client reads; the output cycle
    // runs every millisecond so that this takes seconds rather than minutes.
    QTimer fastOutput;
    QObject::connect(&fastOutput, &QTimer::timeout, [&cti] { cti.Files().OutputTick(); });
    fastOutput.start(1);
    constexpr int kCalls = 200;
    for (int call = 0; call < kCalls; ++call) {
        const std::string id = "c" + std::to_string(call) + "@127.0.0.1";
        events.OnConnecting(0);
        events.OnSuccessToConnect(0, "127.0.0.1", 7000);
        events.OnDisconnectCall(0);
        events.OnIncomingCall(id, "Caller " + std::to_string(call), "2001", "sip:2001@127.0.0.1", "");
        events.OnIncomingCallRingingStop(id);
        QTest::qWait(2);
    }
    QStringList expected;
    for (const QString& line : socket.lines.filter(QRegularExpression("^EVENT\t")))
        expected.append(line.section('\t', 1).replace('\t', '|'));
    QCOMPARE(expected.size(), 5 * kCalls);
    QStringList received;
    QTRY_VERIFY_WITH_TIMEOUT((received += QString::fromUtf8(reader.readAll()).split('\n', Qt::SkipEmptyParts),
                              received.size() >= expected.size()),
                             60000);
    QCOMPARE(received, expected);
    reader.kill();
    reader.waitForFinished();
    fastOutput.stop();

    // Nobody reads any more: the latest direct record shows once the last one has
    // waited kUnreadMs.
    events.OnConnecting(0);
    events.OnIncomingCall("late@127.0.0.1", "Alice", "2001", "sip:2001@127.0.0.1", "");
    events.OnIncomingCallRingingStop("late@127.0.0.1");
    QTRY_COMPARE_WITH_TIMEOUT(trn.OutputRecord(), QString("LOST CALL||"), trn.kDirectRecordMs + 2 * kTickMs);
}

void CtiFilesTest::filesAreTheOwnersAloneAndLinksAreNotFollowed()
{
    SoftphoneHarness trn;
    const QString folder = trn.home.File("new/files/");
    qputenv("TRN_HOME", folder.toUtf8());
    {
        frmSoftphone first; // makes its folder for itself, and its lock file
        QCOMPARE(ModeOf(trn.home.File("new")), 0700u);
        QCOMPARE(ModeOf(folder), 0700u);
        QCOMPARE(ModeOf(folder + "trn.lock"), 0600u);
    }
    QVERIFY(!QFile::exists(folder + "trn.lock"));

    // Links in the places of OUTPUT.INI and TARN.INI, to a file of someone else's.
    const QString theirs = trn.home.File("theirs");
    const QString text = "[SIP]\nSIPLogin=them\n[ACTION]\nCOMMAND=theirs\n";
    trn.home.WriteFile("theirs", text);
    QVERIFY(chmod(qPrintable(theirs), 0640) == 0);
    QVERIFY(QFile::link(theirs, folder + "OUTPUT.INI") && QFile::link(theirs, folder + "TARN.INI"));
    OrvSIPUserAgentOCXEvents& events = trn.Create();
    frmSettings& settings = trn.Window().Settings();
    QVERIFY(!settings.LoadSettings()); // a link is no file: the first run
    QVERIFY(settings.Login().isEmpty());
    Child<QLineEdit>(settings, "txtConfigSIPLogin")->setText("1001");
    QVERIFY(settings.SaveSettings());
    events.OnIncomingCall("c1@127.0.0.1", "", "2001", "sip:2001@127.0.0.1", "");
    for (const char* name : {"TARN.INI", "OUTPUT.INI"}) {
        QVERIFY2(IsRegularFile(folder + name), name);
        QCOMPARE(ModeOf(folder + name), 0600u);
        QVERIFY(!trn.home.ReadFile(QString("new/files/") + name).contains("them"));
    }
    QCOMPARE(trn.home.ReadFile("theirs"), text);
    QCOMPARE(ModeOf(theirs), 0640u);

    // A TARN.INI others may read becomes the owner's alone when it is loaded.
    QVERIFY(chmod(qPrintable(folder + "TARN.INI"), 0644) == 0);
    settings.LoadSettings();
    QCOMPARE(ModeOf(folder + "TARN.INI"), 0600u);
}

void CtiFilesTest::shutDownAsksFirstAndEndsEveryCopy()
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

    // Without confirmation trn ends, and so does the other trn of the user, on another
    // folder: both exit normally, un-registered.
    Peers peers({{"1001", "secret"}, {"1002", "secret"}, {"2001", "secret2"}}, "2001", "secret2", "auto");
    QVERIFY(peers.IsReady());
    for (const bool overSocket : {false, true}) {
        const quint16 port = SocketClient::FreePort();
        SoftphoneHarness closing, other;
        closing.WriteSettings(peers.Proxy(), TcpOn(port));
        other.WriteSettings(peers.Proxy(), {{"SIPLogin=1001", "SIPLogin=1002"}});
        QProcess trns[2];
        const TestHome* homes[2] = {&closing.home, &other.home};
        for (int i = 0; i < 2; ++i) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("TRN_HOME", homes[i]->File(""));
            trns[i].setProcessEnvironment(environment);
            trns[i].setProcessChannelMode(QProcess::ForwardedChannels);
            trns[i].start(QStringLiteral(ORVSIP_TRN), {});
            QVERIFY(trns[i].waitForStarted());
        }
        QTRY_VERIFY_WITH_TIMEOUT(peers.IsRegistered("1001") && peers.IsRegistered("1002"), 30000);
        if (overSocket) {
            SocketClient client(port);
            QVERIFY(client.WaitSnapshot());
            client.SendLine("ShutDown");
            QVERIFY(!client.Next("OK ShutDown").isEmpty());
        } else {
            FileClient(closing.home.File("")).Command("ShutDown");
        }
        for (QProcess& trn : trns) {
            QVERIFY(trn.waitForFinished(20000));
            QCOMPARE(trn.exitStatus(), QProcess::NormalExit);
            QCOMPARE(trn.exitCode(), 0);
        }
        QVERIFY(!peers.IsRegistered("1001"));
        QVERIFY(!peers.IsRegistered("1002"));
        // Its own files go with trn; TARN.INI and the CTI files stay for the client.
        for (const TestHome* home : homes) {
            QVERIFY(!QFile::exists(home->File("trn.lock")));
            QVERIFY(!QFile::exists(home->File("cti.sock")));
            QVERIFY(QFile::exists(home->File("TARN.INI")));
        }
        QVERIFY(!QFile::exists(closing.home.File("INPUT.INI")));
    }
}

QTEST_MAIN(CtiFilesTest)
#include "CtiFilesTest.moc"
