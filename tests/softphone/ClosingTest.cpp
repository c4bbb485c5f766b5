// Closing ends every trn of the user. This program checks it on copies of itself
// under a name of their own, so that no other test's process shares the name:
//   ClosingTest --close-answering-yes   loads a window and closes it, confirming
//   ClosingTest --idle                  only waits, to be ended by the other copy
#include "softphone/WindowOnTop.h"
#include "softphone/frmSettings.h"
#include "softphone/frmTranfer.h"
#include "tests/softphone/SoftphoneHarness.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <cstring>

class ClosingTest : public QObject {
    Q_OBJECT

private slots:
    void answeringNoKeepsTheProgram();
    void answeringYesEndsEveryCopyAndNothingElse();
    void alwaysOnTopReachesEveryWindow();
    void minimisesNormallyWithoutATray();
};

namespace {

// A proxy nobody answers: these tests need no registration.
const QString kSilentProxy = QStringLiteral("127.0.0.1:9");

int CloseAnsweringYes()
{
    SoftphoneHarness trn;
    trn.WriteSettings(kSilentProxy, {{"ConfirmBeforeClose=0", "ConfirmBeforeClose=1"}});
    trn.Load();
    trn.boxes.AnswerNext(true);
    trn.Click("cmdFechar");
    return 3; // not reached: closing ends this process too
}

} // namespace

void ClosingTest::answeringNoKeepsTheProgram()
{
    SoftphoneHarness trn;
    trn.WriteSettings(kSilentProxy, {{"ConfirmBeforeClose=0", "ConfirmBeforeClose=1"}});
    frmSoftphone& window = trn.Load();
    trn.boxes.AnswerNext(false);
    trn.Click("cmdFechar");
    trn.boxes.AnswerNext(false);
    window.close(); // the window's own close button asks the same
    QCOMPARE(trn.boxes.Take(), QStringList({"Are you sure you want close?", "Are you sure you want close?"}));
    QVERIFY(window.isVisible());
}

void ClosingTest::answeringYesEndsEveryCopyAndNothingElse()
{
    QTemporaryDir folder;
    const QString name = QStringLiteral("trnclose%1").arg(QCoreApplication::applicationPid());
    const QString copy = folder.filePath(name);
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
    const QString bystander = folder.filePath(name + "x");
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), bystander));

    QProcess idle, other, closer;
    idle.start(copy, {"--idle"});
    other.start(bystander, {"--idle"});
    QVERIFY(idle.waitForStarted());
    QVERIFY(other.waitForStarted());
    closer.setProcessChannelMode(QProcess::ForwardedChannels);
    closer.start(copy, {"--close-answering-yes"});
    QVERIFY(closer.waitForFinished(60000));
    QCOMPARE(closer.exitStatus(), QProcess::CrashExit); // ended by the kill, not by returning
    QVERIFY(idle.waitForFinished(10000));
    QCOMPARE(idle.exitStatus(), QProcess::CrashExit);
    QVERIFY(!other.waitForFinished(300));
    QCOMPARE(other.state(), QProcess::Running);
    other.kill();
    other.waitForFinished();
}

void ClosingTest::alwaysOnTopReachesEveryWindow()
{
    for (const bool onTop : {true, false}) {
        SoftphoneHarness trn;
        trn.WriteSettings(kSilentProxy, {{"AwaysOnTop=0", onTop ? "AwaysOnTop=1" : "AwaysOnTop=0"}});
        frmSoftphone& window = trn.Load();
        QCOMPARE(WindowOnTop::IsSet(&window), onTop);

        bool settingsOnTop = !onTop;
        QTimer::singleShot(0, &window.Settings(), [&] {
            settingsOnTop = WindowOnTop::IsSet(&window.Settings());
            window.Settings().done(QDialog::Rejected);
        });
        trn.Click("cmdMenu");
        QCOMPARE(settingsOnTop, onTop);

        trn.Click("cmdTransfer");
        frmTranfer* transfer = window.findChild<frmTranfer*>();
        QVERIFY(transfer != nullptr && transfer->isVisible());
        QCOMPARE(WindowOnTop::IsSet(transfer), onTop);
        transfer->close();
    }
}

void ClosingTest::minimisesNormallyWithoutATray()
{
    SoftphoneHarness trn;
    trn.WriteSettings(kSilentProxy);
    frmSoftphone& window = trn.Load();
    QVERIFY(window.isVisible());
    trn.Click("cmdMinimizar");
    QVERIFY(window.isMinimized());
    QVERIFY(window.isVisible()); // still on the task bar: without a tray it could not come back

    SoftphoneHarness hidden;
    hidden.WriteSettings(kSilentProxy, {{"StarupOnSystray=0", "StarupOnSystray=1"}});
    frmSoftphone& started = hidden.Load();
    QVERIFY(started.isMinimized());
    QVERIFY(started.isVisible());
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--idle") == 0) {
        QThread::sleep(60);
        return 0;
    }
    QApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--close-answering-yes") == 0)
        return CloseAnsweringYes();
    ClosingTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ClosingTest.moc"
