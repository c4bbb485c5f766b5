// Closing ends the other copies of the program: the processes of this user running
// the same executable file, never a namesake nor another user's process. This program
// checks it on one copy of itself, so that the test runner itself is not a copy:
//   COPY --close-answering-yes   registers, then closes its window, confirming
//   COPY --run                   registers, calls 2002, then runs until something ends it
//   COPY --idle                  only waits
#include "softphone/WindowOnTop.h"
#include "softphone/frmSettings.h"
#include "softphone/frmTranfer.h"
#include "tests/softphone/Child.h"
#include "tests/softphone/Peers.h"
#include "tests/softphone/SoftphoneHarness.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
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
constexpr QFile::Permissions kEveryoneRuns = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                             QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;

// Waits for the window's status, then tells the test `news`.
bool ReachStatus(frmSoftphone& window, const QString& status, const char* news)
{
    QDeadlineTimer deadline(30000);
    while (Child<QLabel>(window, "lblDisplayStatus")->text() != status) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    std::printf("%s\n", news);
    std::fflush(stdout);
    return true;
}

// A window in the folder TRN_HOME names, registered, as trn runs it.
bool LoadRegistered(frmSoftphone& window)
{
    window.FormLoad();
    return ReachStatus(window, QStringLiteral("Registered"), "registered");
}

int RunCopy(int argc, char** argv)
{
    QApplication app(argc, argv);
    ScriptedMessageBoxes boxes;
    frmSoftphone window;
    if (!LoadRegistered(window))
        return 4;
    if (std::strcmp(argv[1], "--run") == 0) {
        if (!window.DialNumber(QStringLiteral("2002")) || !ReachStatus(window, QStringLiteral("Conected"), "connected"))
            return 4;
        return QApplication::exec() == 0 ? 3 : 4; // never returns: SIGTERM ends it
    }
    boxes.AnswerNext(true);
    Child<QPushButton>(window, "cmdFechar")->click();
    return 3; // not reached: closing ends the program
}

QProcess* StartIn(const QString& program, const QStringList& arguments, const QString& home, QObject* owner)
{
    auto* process = new QProcess(owner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TRN_HOME", home);
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(program, arguments);
    return process;
}

bool EndedWithZero(QProcess& process)
{
    return process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
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
    Peers peers({{"1001", "secret"}, {"1002", "secret"}, {"2002", "secret2"}}, "2002", "secret2", "auto");
    QVERIFY(peers.IsReady());
    QTemporaryDir folder;
    for (const QString& path : {folder.path(), folder.filePath("program"), folder.filePath("other")})
        QVERIFY(QDir().mkpath(path) && QFile::setPermissions(path, kEveryoneRuns));
    const QString program = folder.filePath("program/trn");
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), program));
    QVERIFY(QFile::setPermissions(program, kEveryoneRuns));
    // Namesakes: programs that are not this one, named like it.
    QList<QProcess*> bystanders;
    for (const char* name : {"other/trn", "TRN"}) {
        QVERIFY(QFile::copy("/bin/sleep", folder.filePath(name)));
        bystanders.append(StartIn(folder.filePath(name), {"60"}, folder.path(), this));
    }
    const bool asRoot = getuid() == 0;
    if (asRoot)
        bystanders.append(StartIn("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", program, "--idle"},
                                  folder.path(), this));

    SoftphoneHarness closing, other;
    closing.WriteSettings(peers.Proxy(), {{"ConfirmBeforeClose=0", "ConfirmBeforeClose=1"}});
    other.WriteSettings(peers.Proxy(), {{"SIPLogin=1001", "SIPLogin=1002"}});
    QProcess* copy = StartIn(program, {"--run"}, other.home.File(""), this);
    QByteArray told;
    while (told.count('\n') < 2 && copy->waitForReadyRead(30000))
        told += copy->readAllStandardOutput();
    QCOMPARE(told, QByteArray("registered\nconnected\n"));
    QProcess* closer = StartIn(program, {"--close-answering-yes"}, closing.home.File(""), this);
    QVERIFY(closer->waitForReadyRead(30000));
    QCOMPARE(closer->readAllStandardOutput(), QByteArray("registered\n"));
    QVERIFY(EndedWithZero(*closer));
    QVERIFY(EndedWithZero(*copy)); // its SIGTERM handled as a confirmed "Exit"
    const QString callLog = other.home.ReadFile("calls.log");
    QVERIFY2(callLog.count('\n') == 1 && callLog.contains("\t2002\t"), qPrintable(callLog)); // its call, cut
    QVERIFY(!peers.IsRegistered("1001"));
    QVERIFY(!peers.IsRegistered("1002"));
    for (QProcess* bystander : bystanders) {
        QCOMPARE(bystander->state(), QProcess::Running);
        bystander->kill();
        bystander->waitForFinished();
    }
    if (!asRoot)
        QSKIP("another user's copy needs root to start");
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
    if (argc > 1 && (std::strcmp(argv[1], "--run") == 0 || std::strcmp(argv[1], "--close-answering-yes") == 0))
        return RunCopy(argc, argv);
    QApplication app(argc, argv);
    ClosingTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ClosingTest.moc"
