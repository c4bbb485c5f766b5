#include "cti/CtiEventQueue.h"
#include "platform/UdpSocket.h"
#include "softphone/CallQualityBars.h"
#include "softphone/frmIncommingCall.h"
#include "softphone/frmTranfer.h"
#include "softphone/zzSlider.h"
#include "tests/cti/SocketClient.h"
#include "tests/softphone/Child.h"
#include "tests/softphone/Peers.h"
#include "tests/softphone/PortBlocker.h"
#include "tests/softphone/SoftphoneHarness.h"

#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <cmath>

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void callsBaresipAndHangsUp();
    void showsLogsAndPublishesCallQuality();
    void registersAndCallsOverTls();
    void holdsAndTransfersTheCall();
    void followsTheTransferThePeerAsksFor();
    void answersRejectsAndLosesIncomingCalls();
    void keyboardDialsAsTyped();
    void findsFreePortsAndReportsControlErrors();
    void serverFailureFromTheProxy();
    void reportsWhenNoRtpPortOpens();
};

namespace {

// A sink that pumps messages inside every event, as trn's own handlers do: were the
// window's dispatch not guarded, the pump would deliver the next events inside this one.
class NestingProbe : public OrvSIPUserAgentOCXEvents {
public:
    void Invoke(int, const std::vector<OrvValue>&) override
    {
        ++events;
        ++depth;
        deepest = std::max(deepest, depth);
        QCoreApplication::processEvents();
        --depth;
    }
    int events = 0;
    int depth = 0;
    int deepest = 0;
};

QString QueuedCti(SoftphoneHarness& trn)
{
    return QString::fromStdString(trn.Window().CtiQueue().Text());
}

// The record queued last for OUTPUT.INI. What waits before it depends on timing:
// a record queued while OUTPUT.INI is empty leaves at the next output cycle (200 ms).
QString NewestQueuedCti(SoftphoneHarness& trn)
{
    return QueuedCti(trn).section(QChar(CtiEventQueue::kSeparator), -1);
}

// Two seconds of a loud 1 kHz tone, 8 kHz 16-bit mono, for the virtual microphone.
void WriteToneWav(const QString& path)
{
    QByteArray samples;
    for (int i = 0; i < 16000; ++i) {
        const auto value = static_cast<qint16>(12000 * std::sin(2 * M_PI * 1000 * i / 8000.0));
        samples.append(static_cast<char>(value & 0xFF));
        samples.append(static_cast<char>((value >> 8) & 0xFF));
    }
    QByteArray header("RIFF");
    auto put32 = [&header](quint32 v) {
        for (int b = 0; b < 4; ++b)
            header.append(static_cast<char>((v >> (8 * b)) & 0xFF));
    };
    auto put16 = [&header](quint16 v) {
        header.append(static_cast<char>(v & 0xFF));
        header.append(static_cast<char>(v >> 8));
    };
    put32(36 + samples.size());
    header.append("WAVEfmt ");
    put32(16);
    put16(1);
    put16(1);
    put32(8000);
    put32(16000);
    put16(2);
    put16(16);
    header.append("data");
    put32(samples.size());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(header + samples);
}

const QJsonObject kUsers{{"1001", "secret"}, {"2002", "secret2"}};
constexpr int kSipWaitMs = 15000;

} // namespace

void MainWindowTest::callsBaresipAndHangsUp()
{
    Peers peers(kUsers, "2002", "secret2", "auto");
    QVERIFY(peers.IsReady());
    SoftphoneHarness trn;
    // The STUN server of TARN.INI is asked from the line's RTP port; silent, it leaves
    // the SDP with the line's own address.
    UdpSocket stun;
    QVERIFY(stun.Open("127.0.0.1", 0));
    trn.WriteSettings(peers.Proxy(), {{"StunServer=\n", QString("StunServer=127.0.0.1:%1\n").arg(stun.LocalPort())}});
    WriteToneWav(trn.home.File("tone.wav"));
    qputenv("ORVSIP_VIRTUAL_MIC", trn.home.File("tone.wav").toUtf8());
    NestingProbe probe;
    trn.Create().Control().Advise(&probe);
    trn.Window().FormLoad();
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Registered"), kSipWaitMs);
    QVERIFY(peers.IsRegistered("1001"));
    QCOMPARE(trn.GroupInFront(), QString("frameChamarCancelar"));
    char request[64];
    const UdpSocket::Datagram asked = stun.Receive(request, sizeof request);
    QCOMPARE(asked.length, 20);

    trn.Dial("2002");
    QCOMPARE(trn.Display(), QString("2002"));
    trn.Click("cmdChamar");
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Conected"), kSipWaitMs);
    QVERIFY(!peers.WaitBaresipEvent("CALL_ESTABLISHED").isEmpty());
    const QStringList invites = SipTrace::Starting(trn.trace.sent, "INVITE sip:2002@" + peers.Proxy() + " SIP/2.0");
    QVERIFY2(!invites.isEmpty(), qPrintable(trn.trace.sent.join("\n----\n")));
    QVERIFY(invites.first().contains("m=audio 7000 RTP/AVP 0 101")); // PCMU alone, from RTP port 7000
    QCOMPARE(asked.sourcePort, 7000);
    QCOMPARE(trn.Codec(), QString("gsm711u"));
    QCOMPARE(trn.GroupInFront(), QString("frameTranferirDesligar"));
    QTRY_COMPARE_WITH_TIMEOUT(trn.OutputRecord(), QString("STATUS|SUCCESS TO CONNECT|"), trn.kDirectRecordMs);

    // The sliders show the control's volumes and set them; the meters follow the levels.
    OrvSIPUserAgentOCX& control = trn.Window().Control();
    zzSlider* speaker = trn.Window().findChild<zzSlider*>("sldVolFon");
    zzSlider* microphone = trn.Window().findChild<zzSlider*>("SldVolMic");
    QCOMPARE(static_cast<int>(speaker->Value()), control.GetSpkVolume());
    QCOMPARE(static_cast<int>(microphone->Value()), control.GetMicVolume());
    speaker->SetValue(100.4f);
    QCOMPARE(control.GetSpkVolume(), 100);
    microphone->SetValue(180);
    QCOMPARE(control.GetMicVolume(), 180);
    QProgressBar* micLevel = trn.Window().findChild<QProgressBar*>("progbarVolMic");
    QTRY_VERIFY_WITH_TIMEOUT(micLevel->value() > 0, 5000); // the tone of the virtual microphone
    qunsetenv("ORVSIP_VIRTUAL_MIC");

    // Kamailio sends no 100 to a REGISTER, so nothing says "registering". Whether
    // "registered" still waits depends on whether an output cycle passed before the
    // call's first record filled OUTPUT.INI.
    QCOMPARE(NewestQueuedCti(trn), QString("STATUS:CONNECTING: "));
    QVERIFY(!QueuedCti(trn).contains("REGISTERING"));

    trn.Click("cmdDesligar");
    QCOMPARE(trn.Status(), QString("Hangup"));
    QCOMPARE(trn.Codec(), QString());
    QCOMPARE(trn.GroupInFront(), QString("frameChamarCancelar"));
    QCOMPARE(trn.HoldCaption(), QString("Hold"));
    QVERIFY(trn.Display().isEmpty());
    QVERIFY(!peers.WaitBaresipEvent("CALL_CLOSED").isEmpty());
    QCOMPARE(NewestQueuedCti(trn), QString("HANGUP:CALL DISCONECTED: "));
    QVERIFY(trn.boxes.Take().isEmpty());
    QVERIFY(probe.events > 10);
    QCOMPARE(probe.deepest, 1); // no event delivered inside another
}

// The figures of a connected call: bars beside the codec while it lasts, one line in
// calls.log and one QUALITY line to socket clients when it ends, whoever hangs up.
void MainWindowTest::showsLogsAndPublishesCallQuality()
{
    Peers peers(kUsers, "2002", "secret2", "manual");
    QVERIFY(peers.IsReady());
    const quint16 port = SocketClient::FreePort();
    SoftphoneHarness trn;
    trn.WriteSettings(peers.Proxy(), {{"EnableCTITCP=False\nEnableCTIXML=True", "EnableCTITCP=True\nEnableCTIXML=False"},
                                      {"TCPPort=2500", QStringLiteral("TCPPort=%1").arg(port)}});
    frmSoftphone& window = trn.Load();
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Registered"), kSipWaitMs);
    SocketClient client(port);
    QVERIFY(client.WaitSnapshot());
    CallQualityBars* bars = Child<CallQualityBars>(window, "lblCallQuality");
    const QLabel* codec = Child<QLabel>(window, "lblDisplayCodec");
    QVERIFY(bars->isHidden());
    const QString log = trn.home.File("calls.log");
    // 2002 answers by hand, so that a call may also be given up while it rings.
    const auto answeredCall = [&] {
        trn.Dial("2002");
        trn.Click("cmdChamar");
        peers.WaitBaresipEvent("CALL_INCOMING");
        peers.Baresip("accept");
        return QTest::qWaitFor([&] { return trn.Status() == "Conected"; }, kSipWaitMs);
    };
    const QRegularExpression goodCall("^codec=PCMU;sent_packets=[1-9][0-9]*;.*;lost=0;.*;mos=4\\.[2-9]$");

    // Hung up here: the record of the end, then the figures, once.
    QVERIFY(answeredCall());
    QVERIFY(!bars->isHidden());
    QTRY_COMPARE_WITH_TIMEOUT(bars->Bars(), CallQualityBars::kBarCount, 10000);
    QVERIFY2(bars->toolTip().contains(QRegularExpression("MOS estimate\\): 4\\.[2-9]\nCodec: PCMU\n")),
             qPrintable(bars->toolTip()));
    const QRect barsArea(bars->mapTo(&window, QPoint()), bars->size());
    const QRect codecArea(codec->mapTo(&window, QPoint()), codec->size());
    QVERIFY(barsArea.right() < codecArea.left() + 4 && codecArea.contains(codecArea.left(), barsArea.center().y()));
    client.SendLine("Status");
    QVERIFY(client.Next("SNAPSHOT\tQUALITY\t*").startsWith("SNAPSHOT\tQUALITY\tcodec=PCMU;sent_packets="));
    trn.Click("cmdDesligar");
    QVERIFY(bars->isHidden() && bars->toolTip().isEmpty());
    const int hangUp = client.WaitLine("EVENT\tHANGUP\tCALL DISCONECTED\t ");
    QVERIFY(hangUp >= 0);
    QCOMPARE(client.WaitLine("QUALITY\t*", hangUp), hangUp + 1);
    QVERIFY2(goodCall.match(client.lines[hangUp + 1].section('\t', 1)).hasMatch(), qPrintable(client.lines[hangUp + 1]));
    QVERIFY(!peers.WaitBaresipEvent("CALL_CLOSED").isEmpty());

    // Hung up by the peer.
    QVERIFY(answeredCall());
    QTRY_VERIFY_WITH_TIMEOUT(bars->Bars() > 0, 10000);
    peers.Baresip("hangup");
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Hangup"), kSipWaitMs);
    QVERIFY(bars->isHidden());
    const int disconnect = client.WaitLine("EVENT\tSTATUS\tDISCONNECT\t ", hangUp);
    QVERIFY(disconnect >= 0);
    QCOMPARE(client.WaitLine("QUALITY\t*", disconnect), disconnect + 1);

    // Given up while it rings: neither figures nor a line in the log.
    QCOMPARE(trn.Display(), QString("2002"));
    trn.Click("cmdChamar");
    QVERIFY(!peers.WaitBaresipEvent("CALL_INCOMING").isEmpty());
    trn.Click("cmdCancelar");
    QVERIFY(!peers.WaitBaresipEvent("CALL_CLOSED").isEmpty());
    QVERIFY(client.WaitLine("EVENT\tHANGUP\tCALL DISCONECTED\t ", disconnect) > disconnect);
    client.SendLine("Status");
    QVERIFY(!client.Next("OK Status").isEmpty());
    QCOMPARE(client.lines.filter(QRegularExpression("^QUALITY\t")).size(), 2);

    QFile file(log);
    QCOMPARE(file.permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
             QFileDevice::Permissions());
    const QStringList entries = trn.home.ReadFile("calls.log").split('\n', Qt::SkipEmptyParts);
    QCOMPARE(entries.size(), 2);
    for (const QString& entry : entries) {
        const QStringList fields = entry.split('\t');
        QCOMPARE(fields.size(), 4);
        QVERIFY2(QDateTime::fromString(fields[0], Qt::ISODate).isValid(), qPrintable(entry));
        QCOMPARE(fields[1], QString("2002"));
        QVERIFY(fields[2].toInt() >= 0 && fields[2].toInt() < 60);
        QVERIFY2(goodCall.match(fields[3]).hasMatch(), qPrintable(entry));
    }

    // A link in the log's place is not followed: the next call leaves its target alone.
    trn.home.WriteFile("elsewhere.txt", "not a call log\n");
    QVERIFY(QFile::remove(log) && QFile::link(trn.home.File("elsewhere.txt"), log));
    QVERIFY(answeredCall());
    trn.Click("cmdDesligar");
    QVERIFY(client.WaitLine("QUALITY\t*", disconnect + 2) > 0);
    QCOMPARE(trn.home.ReadFile("elsewhere.txt"), QString("not a call log\n"));
    QVERIFY(QFileInfo(log).isSymLink());
    QVERIFY(trn.boxes.Take().isEmpty());
}

// The Sip Proxy names TLS, the CA file field the CA of the proxy's certificate, and
// "Call encryption" asks for SRTP, which baresip requires too.
void MainWindowTest::registersAndCallsOverTls()
{
    Peers peers(kUsers, "2002", "secret2", "auto", {}, true, "srtp-mand");
    QVERIFY(peers.IsReady());
    SoftphoneHarness trn;
    trn.WriteSettings(peers.TlsProxy(), {{"SIPOutboundProxy=\n", "SIPOutboundProxy=\nCAFile=" + peers.CaFile() +
                                                                     "\nMediaEncryption=2\n"}});
    trn.Load();
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Registered"), kSipWaitMs);
    QVERIFY(peers.IsRegistered("1001"));
    QCOMPARE(trn.Window().findChild<QLineEdit*>("txtConfigCAFile")->text(), peers.CaFile());
    const QStringList registers = SipTrace::Starting(trn.trace.sent, "REGISTER ");
    QVERIFY(!registers.isEmpty());
    QVERIFY2(registers.first().contains("Via: SIP/2.0/TLS "), qPrintable(registers.first()));

    trn.Dial("2002");
    trn.Click("cmdChamar");
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Conected"), kSipWaitMs);
    QVERIFY(!peers.WaitBaresipEvent("CALL_ESTABLISHED").isEmpty());
    const QStringList invites = SipTrace::Starting(trn.trace.sent, "INVITE sip:2002@");
    QVERIFY(!invites.isEmpty());
    QVERIFY(invites.first().contains("Via: SIP/2.0/TLS "));
    QVERIFY2(invites.first().contains(" RTP/SAVP ") && invites.first().contains("a=crypto:1 "),
             qPrintable(invites.first()));
    QCOMPARE(trn.Codec(), QString("encrypted  gsm711u"));
    trn.Click("cmdDesligar");
    QVERIFY(!peers.WaitBaresipEvent("CALL_CLOSED").isEmpty());
    QVERIFY(trn.boxes.Take().isEmpty());
}

void MainWindowTest::holdsAndTransfersTheCall()
{
    Peers peers(kUsers, "2002", "secret2", "auto");
    QVERIFY(peers.IsReady());
    SoftphoneHarness trn;
    trn.WriteSettings(peers.Proxy());
    trn.Load();
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Registered"), kSipWaitMs);
    trn.Click("cmdHold");
    QCOMPARE(trn.HoldCaption(), QString("Hold")); // no call: nothing happens

    trn.Dial("2002");
    trn.Click("cmdChamar");
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Conected"), kSipWaitMs);
    QVERIFY(!peers.WaitBaresipEvent("CALL_ESTABLISHED").isEmpty());
    trn.Click("cmdHold");
    QCOMPARE(trn.HoldCaption(), QString("Unhold"));
    QTRY_COMPARE_WITH_TIMEOUT(trn.OutputRecord(), QString("Response|Hold|Hold line OK"), trn.kDirectRecordMs);
    QTRY_VERIFY_WITH_TIMEOUT(!SipTrace::Starting(trn.trace.sent, "INVITE sip:").filter("a=sendonly").isEmpty(),
                             kSipWaitMs);
    QVERIFY(!peers.WaitBaresipEvent("CALL_REMOTE_SDP").isEmpty()); // baresip took the hold offer
    QTRY_VERIFY_WITH_TIMEOUT(trn.Window().Control().IsLineHold(0), kSipWaitMs);
    trn.Click("cmdHold");
    QCOMPARE(trn.HoldCaption(), QString("Hold"));
    QTRY_COMPARE_WITH_TIMEOUT(trn.OutputRecord(), QString("Response|Hold|Unhold line OK"), trn.kDirectRecordMs);
    QTRY_VERIFY_WITH_TIMEOUT(!trn.Window().Control().IsLineHold(0), kSipWaitMs);

    trn.Click("cmdTransfer");
    frmTranfer* dialog = trn.Window().findChild<frmTranfer*>();
    QVERIFY(dialog != nullptr && dialog->isVisible());
    dialog->findChild<QLineEdit*>("txtToTranfer")->setText("300");
    dialog->findChild<QPushButton*>("cmdTranfer")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!SipTrace::Starting(trn.trace.sent, "REFER sip:").isEmpty(), kSipWaitMs);
    const QString refer = SipTrace::Starting(trn.trace.sent, "REFER sip:").first();
    QVERIFY2(refer.contains("Refer-To: <sip:300@" + peers.Proxy() + ">") ||
                 refer.contains("Refer-To: sip:300@" + peers.Proxy()),
             qPrintable(refer));
    QTRY_VERIFY_WITH_TIMEOUT(!SipTrace::Starting(trn.trace.sent, "BYE sip:").isEmpty(), kSipWaitMs);
    QCOMPARE(trn.Status(), QString("Hangup"));
    QCOMPARE(trn.GroupInFront(), QString("frameChamarCancelar"));
    peers.WaitBaresipEvent("CALL_CLOSED");

    // An empty text is used as it is: "sip:@" and the proxy.
    trn.trace.sent.clear();
    trn.Dial("2002");
    trn.Click("cmdChamar");
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Conected"), kSipWaitMs);
    trn.Click("cmdTransfer");
    dialog = trn.Window().findChild<frmTranfer*>();
    dialog->findChild<QPushButton*>("cmdTranfer")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!SipTrace::Starting(trn.trace.sent, "BYE sip:").isEmpty(), kSipWaitMs);
    const QStringList refers = SipTrace::Starting(trn.trace.sent, "REFER sip:");
    QVERIFY(!refers.isEmpty());
    QVERIFY2(refers.first().contains("Refer-To: <sip:@" + peers.Proxy() + ">") ||
                 refers.first().contains("Refer-To: sip:@" + peers.Proxy()),
             qPrintable(refers.first()));
}

// baresip (2002) transfers trn's call to 3003, another account of its own: trn shows the
// new number and tells the CTI client the call is connecting, then connected, with no
// hang-up between.
void MainWindowTest::followsTheTransferThePeerAsksFor()
{
    QJsonObject users = kUsers;
    users.insert("3003", "secret3");
    Peers peers(users, "2002", "secret2", "auto", QJsonObject{{"3003", "secret3"}});
    QVERIFY(peers.IsReady());
    SoftphoneHarness trn;
    trn.WriteSettings(peers.Proxy());
    trn.Load();
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Registered"), kSipWaitMs);
    trn.Dial("2002");
    trn.Click("cmdChamar");
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Conected"), kSipWaitMs);
    QVERIFY(!peers.WaitBaresipEvent("CALL_ESTABLISHED").isEmpty());
    const QString before = QueuedCti(trn);

    peers.Baresip("transfer", "sip:3003@" + peers.Proxy());
    QTRY_COMPARE_WITH_TIMEOUT(trn.Display(), QString("3003"), kSipWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Conected"), kSipWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(trn.OutputRecord(), QString("STATUS|SUCCESS TO CONNECT|"), trn.kDirectRecordMs);
    QCOMPARE(trn.GroupInFront(), QString("frameTranferirDesligar"));
    const QString after = QueuedCti(trn);
    QCOMPARE(after.count("STATUS:CONNECTING"), before.count("STATUS:CONNECTING") + 1);
    QCOMPARE(after.count("HANGUP:"), before.count("HANGUP:"));
    QCOMPARE(after.count("STATUS:DISCONNECT"), before.count("STATUS:DISCONNECT"));
    QVERIFY(!peers.WaitBaresipEvent("CALL_CLOSED").isEmpty());
    QCOMPARE(trn.Display(), QString("3003"));
    QVERIFY(!SipTrace::Starting(trn.trace.sent, "SIP/2.0 202").isEmpty());
}

void MainWindowTest::answersRejectsAndLosesIncomingCalls()
{
    Peers peers(kUsers, "2002", "secret2", "manual");
    QVERIFY(peers.IsReady());
    SoftphoneHarness trn;
    trn.WriteSettings(peers.Proxy());
    trn.Load();
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Registered"), kSipWaitMs);
    const QString trnUri = "sip:1001@" + peers.Proxy();

    // Answered from the popup, ended by the caller.
    peers.Baresip("dial", trnUri);
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Incoming Call"), kSipWaitMs);
    QCOMPARE(trn.Display(), QString("2002"));
    QCOMPARE(trn.GroupInFront(), QString("frameAtenderRejeitar"));
    QTRY_COMPARE_WITH_TIMEOUT(trn.OutputRecord(), QString("INCOMING CALL|2002|"), trn.kDirectRecordMs);
    QCOMPARE(trn.PendingCallIds().size(), 1);
    frmIncommingCall* popup = trn.Window().Popup();
    QVERIFY(popup != nullptr && popup->isVisible());
    QCOMPARE(popup->findChild<QLabel*>("lblName")->text(), QString("2002"));
    QTRY_VERIFY(!popup->IsSliding());
    QCOMPARE(popup->y(), popup->FinalTop());
    QCOMPARE(popup->frameGeometry().right(), popup->screen()->geometry().right());
    popup->findChild<QPushButton*>("cmdAnswer")->click();
    QVERIFY(!popup->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Conected"), kSipWaitMs);
    QVERIFY(!peers.WaitBaresipEvent("CALL_ESTABLISHED").isEmpty());
    QVERIFY(trn.PendingCallIds().isEmpty());
    peers.Baresip("hangup");
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Hangup"), kSipWaitMs);
    QCOMPARE(trn.GroupInFront(), QString("frameChamarCancelar"));
    QCOMPARE(NewestQueuedCti(trn), QString("STATUS:DISCONNECT: "));
    peers.WaitBaresipEvent("CALL_CLOSED");

    // Rejected: the caller hears 486.
    peers.Baresip("dial", trnUri);
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Incoming Call"), kSipWaitMs);
    trn.Click("cmdRejeitar");
    QCOMPARE(trn.Status(), QString("Call Rejected"));
    QVERIFY(trn.Display().isEmpty());
    QVERIFY(!popup->isVisible());
    const QJsonObject closed = peers.WaitBaresipEvent("CALL_CLOSED");
    QVERIFY2(closed.value("param").toString().contains("486"), qPrintable(closed.value("param").toString()));

    // Given up by the caller before an answer.
    peers.Baresip("dial", trnUri);
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Incoming Call"), kSipWaitMs);
    QVERIFY(popup->isVisible());
    peers.Baresip("hangup");
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Lost call"), kSipWaitMs);
    QVERIFY(!popup->isVisible());
    QCOMPARE(trn.GroupInFront(), QString("frameChamarCancelar"));
    QTRY_COMPARE_WITH_TIMEOUT(trn.OutputRecord(), QString("LOST CALL||"), trn.kDirectRecordMs);
    QVERIFY(trn.PendingCallIds().isEmpty());

    // A Call-ID told again in other letter case is the same call: one entry.
    OrvSIPUserAgentOCXEvents& events = trn.Window();
    events.OnIncomingCall("a1b2@127.0.0.1", "Bob", "2003", "sip:2003@127.0.0.1", "sip:1001@127.0.0.1");
    events.OnIncomingCall("A1B2@127.0.0.1", "Bob", "2003", "sip:2003@127.0.0.1", "sip:1001@127.0.0.1");
    QCOMPARE(trn.PendingCallIds(), QStringList({"a1b2@127.0.0.1"}));

    // A caller's name is text, never markup: the display and the popup show it as written.
    events.OnIncomingCall("boss@127.0.0.1", "<b>Boss</b>", "2004", "sip:2004@127.0.0.1", "sip:1001@127.0.0.1");
    for (QLabel* label : {Child<QLabel>(trn.Window(), "lblDisplay1"), popup->findChild<QLabel*>("lblName")}) {
        QCOMPARE(label->text(), QString("<b>Boss</b>"));
        QCOMPARE(label->textFormat(), Qt::PlainText);
    }
    // A call the control could not answer still rings, to be answered or rejected.
    trn.Click("cmdAtender");
    QCOMPARE(trn.PendingCallIds(), QStringList({"a1b2@127.0.0.1", "boss@127.0.0.1"}));
    events.OnIncomingCallRingingStop("A1B2@127.0.0.1");
    events.OnIncomingCallRingingStop("boss@127.0.0.1");
    QVERIFY(trn.PendingCallIds().isEmpty());
}

void MainWindowTest::keyboardDialsAsTyped()
{
    Peers peers(kUsers, "2002", "secret2", "auto");
    QVERIFY(peers.IsReady());
    SoftphoneHarness trn;
    trn.WriteSettings(peers.Proxy());
    frmSoftphone& window = trn.Load();
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Registered"), kSipWaitMs);
    QLineEdit* keys = window.findChild<QLineEdit*>("txtKeyControl");

    trn.Click("cmdChamar");
    QCOMPARE(trn.boxes.Take(), QStringList({"A number must be informed"}));
    QCOMPARE(trn.boxes.icons.last(), MessageBoxes::Icon::Information);
    QCOMPARE(trn.GroupInFront(), QString("frameChamarCancelar"));
    QTest::keyClick(keys, Qt::Key_Return);
    QCOMPARE(trn.boxes.Take(), QStringList({"A number must be informed"}));
    QVERIFY(SipTrace::Starting(trn.trace.sent, "INVITE ").isEmpty());

    QTest::keyClicks(keys, "12*# 3");
    QCOMPARE(trn.Display(), QString("123")); // "*", "#" and blanks come only from the dial pad
    QTest::keyClick(keys, Qt::Key_Backspace);
    QCOMPARE(trn.Display(), QString("12"));
    trn.Dial("*#");
    QCOMPARE(trn.Display(), QString("12*#"));
    for (int i = 0; i < 6; ++i)
        QTest::keyClick(keys, Qt::Key_Backspace);
    QCOMPARE(trn.Display(), QString());
    QTest::keyClicks(keys, "12");
    QTest::keyClick(keys, Qt::Key_Escape);
    QCOMPARE(trn.Display(), QString());
    QCOMPARE(trn.Status(), QString("Extension 1001"));

    QTest::keyClicks(keys, "alice");
    QTest::keyClick(keys, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(!SipTrace::Starting(trn.trace.sent, "INVITE sip:alice@" + peers.Proxy() + " ").isEmpty(),
                             kSipWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!SipTrace::Starting(trn.trace.received, "SIP/2.0 404").isEmpty(), kSipWaitMs);

    OrvSIPUserAgentOCXEvents& events = window;
    events.OnIncomingCallRingingStop("gone@127.0.0.1");
    QCOMPARE(trn.Status(), QString("Lost call"));
    QTest::keyClick(keys, Qt::Key_5);
    QCOMPARE(trn.Status(), QString("Extension 1001"));
    QCOMPARE(trn.Display(), QString("5"));
    QTest::keyClick(keys, Qt::Key_Escape);

    QTest::keyClicks(keys, "2002");
    QTest::keyClick(keys, Qt::Key_Enter);
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Conected"), kSipWaitMs);
    QTest::keyClick(keys, Qt::Key_Escape); // during a call: hang up
    QCOMPARE(trn.Status(), QString("Hangup"));
    QVERIFY(!peers.WaitBaresipEvent("CALL_CLOSED").isEmpty());
    QVERIFY(!SipTrace::Starting(trn.trace.sent, "BYE sip:").isEmpty());
    QTest::keyClick(keys, Qt::Key_7);
    QCOMPARE(trn.Status(), QString("Extension 1001"));
    QCOMPARE(trn.Display(), QString("7"));
    QVERIFY(trn.boxes.Take().isEmpty());
}

void MainWindowTest::findsFreePortsAndReportsControlErrors()
{
    Peers peers(kUsers, "2002", "secret2", "auto");
    QVERIFY(peers.IsReady());
    {
        SoftphoneHarness offline;
        offline.WriteSettings(peers.Proxy());
        offline.Create();
        offline.Dial("5");
        offline.Click("cmdChamar");
        offline.Click("cmdAtender");
        QCOMPARE(QString::fromStdString(offline.Window().CtiQueue().Text()),
                 QString("nErr:10:You are not Online|nErr:10:You are not Online"));
        QVERIFY(offline.boxes.Take().isEmpty()); // control errors go to CTI clients only
    }

    PortBlocker blocker;
    blocker.Block(5060);
    const bool expect5061 = PortBlocker::IsFree(5061);
    QVERIFY(blocker.Block(7000));
    QVERIFY(blocker.Block(7002));
    SoftphoneHarness trn;
    trn.WriteSettings(peers.Proxy());
    trn.Load();
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Registered"), kSipWaitMs);
    const QString registerRequest = SipTrace::Starting(trn.trace.sent, "REGISTER ").first();
    if (expect5061)
        QVERIFY2(registerRequest.contains("Via: SIP/2.0/UDP 127.0.0.1:5061;"), qPrintable(registerRequest));
    else
        QVERIFY(!registerRequest.contains("Via: SIP/2.0/UDP 127.0.0.1:5060;"));

    trn.Click("cmdAtender"); // nothing pending: the control refuses, with a code that is not reported
    const QString queued = QueuedCti(trn);
    QVERIFY2(!queued.contains("nErr") && !trn.OutputRecord().startsWith("nErr"), qPrintable(queued));
    trn.Dial("2002");
    trn.Click("cmdChamar");
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Conected"), kSipWaitMs);
    const QString invite = SipTrace::Starting(trn.trace.sent, "INVITE sip:2002@").first();
    QVERIFY2(invite.contains("m=audio 7004 "), qPrintable(invite)); // 7000 and 7002 were taken
    trn.Click("cmdDesligar");
    QVERIFY(trn.boxes.Take().isEmpty());
}

void MainWindowTest::serverFailureFromTheProxy()
{
    const QString scenario = QStringLiteral(ORVSIP_PEERS_SCRIPT).replace("peers.py", "scenarios/proxy_unavailable.xml");
    int port = 15060;
    while (!PortBlocker::IsFree(port))
        port += 2;
    QProcess sipp;
    sipp.setWorkingDirectory(QDir::tempPath());
    sipp.start("sipp", {"-sf", scenario, "-i", "127.0.0.1", "-p", QString::number(port), "-m", "20", "-nostdin",
                        "-timeout", "60s"});
    QVERIFY(sipp.waitForStarted());
    SoftphoneHarness trn;
    trn.WriteSettings(QStringLiteral("127.0.0.1:%1").arg(port));
    trn.Load();
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Registered"), kSipWaitMs);
    trn.Dial("300");
    trn.Click("cmdChamar");
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Server Error: 503"), kSipWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(trn.OutputRecord(), QString("SERVER ERROR|CODE 503|Service Unavailable"),
                              trn.kDirectRecordMs);
    sipp.kill();
    sipp.waitForFinished();
}

void MainWindowTest::reportsWhenNoRtpPortOpens()
{
    // One line may fail 1000 times more than there are lines: 7000 to 9000, every
    // even port, taken.
    PortBlocker blocker;
    for (int port = 7000; port <= 9000; port += 2)
        blocker.Block(port);
    SoftphoneHarness trn;
    trn.WriteSettings(QStringLiteral("127.0.0.1:9"));
    trn.Load();
    QCOMPARE(trn.boxes.Take(), QStringList({"Unable to open RTP communication port."}));
    QVERIFY(SipTrace::Starting(trn.trace.sent, "REGISTER ").isEmpty()); // nothing more is tried
    QVERIFY(trn.Window().Control().IsLineOpen(0) == false);
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
