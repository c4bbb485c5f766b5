// ctiprobe's window, in file mode against the files of a folder written by the test,
// and in both socket modes (TCP, Unix-domain) against the CTI socket.
#include "cti/CtiService.h"
#include "cti/probe/frmCtiProbe.h"
#include "tests/cti/FakePhone.h"
#include "tests/cti/SocketClient.h"
#include "tests/softphone/Child.h"

#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

class CtiProbeTest : public QObject {
    Q_OBJECT

private slots:
    void fileModeWritesCommandsAndLogsRecords();
    void socketModesTalkToTheSocket();
};

namespace {

const QString kRule = QStringLiteral("\r\n=====================\r\n");

QString ReadFile(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

void WriteFile(const QString& path, const QString& text)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(text.toUtf8());
}

void Click(frmCtiProbe& probe, const char* name)
{
    Child<QPushButton>(probe, name)->click();
}

} // namespace

void CtiProbeTest::fileModeWritesCommandsAndLogsRecords()
{
    QTemporaryDir program;
    QTemporaryDir files;
    const QString input = files.filePath("INPUT.INI");
    const QString output = files.filePath("OUTPUT.INI");
    frmCtiProbe probe(program.path() + '/', files.path() + '/');
    QCOMPARE(probe.AppPath(), program.path() + '/');

    Child<QLineEdit>(probe, "txtDial")->setText("2001");
    Click(probe, "cmdDial");
    QCOMPARE(ReadFile(input), QString("[ACTION]\nCOMMAND=Dial\nPARAMETER=2001\nMESSAGE=\n"));
    QCOMPARE(QFile::permissions(input) & ~(QFile::ReadUser | QFile::WriteUser), QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(probe.CommandLog(), QString("Actoin: Dial\r\nParameter: 2001\r\nMessage: \r\n") + kRule);
    QVERIFY(Child<QPlainTextEdit>(probe, "txtOutPut")->toPlainText().startsWith("Actoin: Dial\nParameter: 2001\n"));

    const std::pair<const char*, QString> buttons[] = {{"cmdAnswer", "Answer"},   {"cmdHangup", "Hangup"},
                                                       {"cmdHold", "Hold"},       {"cmdReject", "RejectCall"},
                                                       {"cmdShutDown", "ShutDown"}};
    for (const auto& [button, command] : buttons) {
        Click(probe, button);
        QCOMPARE(ReadFile(input), "[ACTION]\nCOMMAND=" + command + "\nPARAMETER=\nMESSAGE=\n");
    }
    Child<QLineEdit>(probe, "txtDTMF")->setText("12#");
    Click(probe, "cmdSendDTMF");
    QCOMPARE(ReadFile(input), QString("[ACTION]\nCOMMAND=SendDTMF\nPARAMETER=12#\nMESSAGE=\n"));
    QVERIFY(probe.CommandLog().startsWith("Actoin: SendDTMF\r\nParameter: 12#\r\nMessage: \r\n" + kRule +
                                          "Actoin: ShutDown\r\n"));
    QCOMPARE(probe.CommandLog().count("Actoin: "), 7);

    WriteFile(output, "[ACTION]\nCOMMAND=STATUS\nPARAMETER=REGISTERED\nMESSAGE= \n");
    QTRY_VERIFY(!QFile::exists(output));
    QCOMPARE(probe.EventLog(), QString("Action: STATUS\r\nParameter: REGISTERED\r\nMessage: \r\n") + kRule);
    WriteFile(output, "[ACTION]\nCOMMAND=SERVER ERROR\nPARAMETER=CODE 503\nMESSAGE=Service Unavailable\n");
    QTRY_VERIFY(!QFile::exists(output));
    QVERIFY(probe.EventLog().startsWith("Action: SERVER ERROR\r\nParameter: CODE 503\r\nMessage: Service "
                                        "Unavailable\r\n" + kRule + "Action: STATUS\r\n"));

    WriteFile(output, "");
    QTest::qWait(600);
    QVERIFY2(QFile::exists(output), "an empty OUTPUT.INI is neither logged nor deleted");
    QCOMPARE(probe.EventLog().count("Action: "), 2);

    Click(probe, "cmdStart");
    QCOMPARE(probe.StatusText(), "Cannot start " + program.filePath("trn"));
    const QString marker = files.filePath("started");
    WriteFile(program.filePath("trn"), "#!/bin/sh\npwd > '" + marker + "'\n");
    QFile::setPermissions(program.filePath("trn"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    Click(probe, "cmdStart");
    QCOMPARE(probe.StatusText(), "Started " + program.filePath("trn"));
    QTRY_COMPARE(ReadFile(marker).trimmed(), program.path());
}

void CtiProbeTest::socketModesTalkToTheSocket()
{
    QTemporaryDir files;
    FakePhone phone;
    CtiService service(phone, files.filePath("").toStdString());
    const quint16 port = SocketClient::FreePort();
    QVERIFY(service.ConfigureSocket(true, std::to_string(port), ""));
    QCOMPARE(service.LocalSocketPath(), files.filePath("cti.sock"));

    frmCtiProbe probe(files.path() + '/', files.path() + '/');
    QCOMPARE(Child<QLineEdit>(probe, "txtSocketPath")->text(), service.LocalSocketPath()); // shown, ready to use
    Child<QLineEdit>(probe, "txtPort")->setText(QString::number(port));
    for (const char* mode : {"optTcpMode", "optUnixMode"}) {
        Child<QRadioButton>(probe, mode)->setChecked(true);
        const int before = static_cast<int>(phone.calls.size());
        Click(probe, "cmdConnect");
        QTRY_VERIFY(probe.IsConnected());
        QVERIFY(probe.IsSocketMode());
        QTRY_VERIFY(probe.EventLog().startsWith("Action: SNAPSHOT\r\nParameter: END\r\n"));
        QVERIFY(probe.EventLog().contains("Action: SNAPSHOT\r\nParameter: LINE\r\nMessage: IDLE\r\n"));

        Child<QLineEdit>(probe, "txtDial")->setText("2001");
        Click(probe, "cmdDial");
        QTRY_VERIFY(probe.EventLog().startsWith("Action: OK\r\nParameter: Dial\r\n"));
        QCOMPARE(Operations({phone.calls.begin() + before, phone.calls.end()}), std::vector<std::string>{"Dial 2001"});
        QVERIFY(probe.CommandLog().startsWith("Actoin: Dial\r\nParameter: 2001\r\n"));
        QVERIFY(!QFile::exists(files.filePath("INPUT.INI")));

        phone.failures = {{"Answer", 32}};
        Click(probe, "cmdAnswer");
        QTRY_VERIFY(probe.EventLog().startsWith(
            "Action: ERROR\r\nParameter: Answer 32\r\nMessage: No pending incoming call.\r\n"));
        service.WriteCtiOutput({"INCOMING CALL", "Alice", ""});
        QTRY_VERIFY(probe.EventLog().startsWith("Action: INCOMING CALL\r\nParameter: Alice\r\nMessage: \r\n"));
        service.ControlSink().OnServerFailureResponse(0, 503, "Service Unavailable");
        QTRY_VERIFY(probe.EventLog().startsWith("Action: FAILURE\r\nParameter: 503\r\nMessage: Service Unavailable"));
        service.PublishQuality("codec=PCMU;mos=4.4");
        QTRY_VERIFY(probe.EventLog().startsWith("Action: QUALITY\r\nParameter: codec=PCMU;mos=4.4\r\n"));
        QFile::remove(files.filePath("OUTPUT.INI"));

        Click(probe, "cmdConnect");
        QTRY_VERIFY(!probe.IsConnected());
        Click(probe, "cmdHangup");
        QVERIFY(probe.StatusText().startsWith("Not connected"));
        QCOMPARE(Operations({phone.calls.begin() + before, phone.calls.end()}),
                 (std::vector<std::string>{"Dial 2001", "Answer"}));
    }
    // In socket mode the files are left to others.
    WriteFile(files.filePath("OUTPUT.INI"), "[ACTION]\nCOMMAND=STATUS\nPARAMETER=REGISTERED\nMESSAGE= \n");
    QTest::qWait(500);
    QVERIFY(QFile::exists(files.filePath("OUTPUT.INI")));
}

QTEST_MAIN(CtiProbeTest)
#include "CtiProbeTest.moc"
