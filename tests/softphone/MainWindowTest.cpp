#include "softphone/frmIncommingCall.h"
#include "softphone/frmTranfer.h"
#include "tests/softphone/Peers.h"
#include "tests/softphone/SoftphoneHarness.h"

#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void callsBaresipAndHangsUp();
    void holdsAndTransfersTheCall();
    void answersRejectsAndLosesIncomingCalls();
};

namespace {

const QJsonObject kUsers{{"1001", "secret"}, {"2002", "secret2"}};
constexpr int kSipWaitMs = 15000;

} // namespace

void MainWindowTest::callsBaresipAndHangsUp()
{
    Peers peers(kUsers, "2002", "secret2", "auto");
    QVERIFY(peers.IsReady());
    SoftphoneHarness trn;
    trn.WriteSettings(peers.Proxy());
    trn.Load();
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Registered"), kSipWaitMs);
    QVERIFY(peers.IsRegistered("1001"));
    QCOMPARE(trn.GroupInFront(), QString("frameChamarCancelar"));

    trn.Dial("2002");
    QCOMPARE(trn.Display(), QString("2002"));
    trn.Click("cmdChamar");
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Conected"), kSipWaitMs);
    QVERIFY(!peers.WaitBaresipEvent("CALL_ESTABLISHED").isEmpty());
    const QStringList invites = SipTrace::Starting(trn.trace.sent, "INVITE sip:2002@" + peers.Proxy() + " SIP/2.0");
    QVERIFY2(!invites.isEmpty(), qPrintable(trn.trace.sent.join("\n----\n")));
    QVERIFY(invites.first().contains("m=audio 7000 RTP/AVP 0 101")); // PCMU alone, from RTP port 7000
    QCOMPARE(trn.Codec(), QString("gsm711u"));
    QCOMPARE(trn.GroupInFront(), QString("frameTranferirDesligar"));
    QCOMPARE(trn.OutputRecord(), QString("STATUS|SUCCESS TO CONNECT|"));
    QCOMPARE(QString::fromStdString(trn.Window().CtiQueue().Text()),
             QString("STATUS:REGISTERED: |STATUS:CONNECTING: ")); // kamailio sends no 100 to a REGISTER

    trn.Click("cmdDesligar");
    QCOMPARE(trn.Status(), QString("Hangup"));
    QCOMPARE(trn.GroupInFront(), QString("frameChamarCancelar"));
    QCOMPARE(trn.HoldCaption(), QString("Hold"));
    QVERIFY(trn.Display().isEmpty());
    QVERIFY(!peers.WaitBaresipEvent("CALL_CLOSED").isEmpty());
    QVERIFY(QString::fromStdString(trn.Window().CtiQueue().Text()).endsWith("|HANGUP:CALL DISCONECTED: "));
    QVERIFY(trn.boxes.Take().isEmpty());
}

void MainWindowTest::holdsAndTransfersTheCall()
{
    Peers peers(kUsers, "2002", "secret2", "auto");
    QVERIFY(peers.IsReady());
    SoftphoneHarness trn;
    trn.WriteSettings(peers.Proxy());
    trn.Load();
    if (trn.Window().Control().GetIDOfName("HoldLine") < 0 || trn.Window().Control().GetIDOfName("TransferCall") < 0)
        QSKIP("the control has no HoldLine or TransferCall yet");
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Registered"), kSipWaitMs);
    trn.Click("cmdHold");
    QCOMPARE(trn.HoldCaption(), QString("Hold")); // no call: nothing happens

    trn.Dial("2002");
    trn.Click("cmdChamar");
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Conected"), kSipWaitMs);
    QVERIFY(!peers.WaitBaresipEvent("CALL_ESTABLISHED").isEmpty());
    trn.Click("cmdHold");
    QCOMPARE(trn.HoldCaption(), QString("Unhold"));
    QCOMPARE(trn.OutputRecord(), QString("Response|Hold|Hold line OK"));
    QTRY_VERIFY_WITH_TIMEOUT(!SipTrace::Starting(trn.trace.sent, "INVITE sip:").filter("a=sendonly").isEmpty(),
                             kSipWaitMs);
    QVERIFY(!peers.WaitBaresipEvent("CALL_REMOTE_SDP").isEmpty()); // baresip took the hold offer
    QTRY_VERIFY_WITH_TIMEOUT(trn.Window().Control().IsLineHold(0), kSipWaitMs);
    trn.Click("cmdHold");
    QCOMPARE(trn.HoldCaption(), QString("Hold"));
    QCOMPARE(trn.OutputRecord(), QString("Response|Hold|Unhold line OK"));
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
    QCOMPARE(trn.OutputRecord(), QString("INCOMING CALL|2002|"));
    QCOMPARE(trn.PendingCallIds().size(), 1);
    frmIncommingCall* popup = trn.Window().Popup();
    QVERIFY(popup != nullptr && popup->isVisible());
    QCOMPARE(popup->findChild<QLabel*>("lblName")->text(), QString("2002"));
    popup->findChild<QPushButton*>("cmdAnswer")->click();
    QVERIFY(!popup->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Conected"), kSipWaitMs);
    QVERIFY(!peers.WaitBaresipEvent("CALL_ESTABLISHED").isEmpty());
    QVERIFY(trn.PendingCallIds().isEmpty());
    peers.Baresip("hangup");
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Hangup"), kSipWaitMs);
    QCOMPARE(trn.GroupInFront(), QString("frameChamarCancelar"));
    QVERIFY(QString::fromStdString(trn.Window().CtiQueue().Text()).endsWith("|STATUS:DISCONNECT: "));
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
    QCOMPARE(trn.OutputRecord(), QString("LOST CALL||"));
    QVERIFY(trn.PendingCallIds().isEmpty());
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
