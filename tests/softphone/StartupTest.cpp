#include "softphone/frmSettings.h"
#include "tests/softphone/Child.h"
#include "tests/softphone/Peers.h"
#include "tests/softphone/SoftphoneHarness.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <functional>

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void firstRunWizardEndsRegistered();
    void deviceListsAndCodecChoicesReachTheControl();
    void secondStartOnTheSameFolderLeavesTheFirstAlone();
    void displayNamesAndWindowsTextRegister();
};

namespace {

const QJsonObject kUsers{{"1001", "secret"}, {"2002", "secret2"}};
constexpr int kSipWaitMs = 15000;

QStringList Items(const QComboBox* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->itemText(i);
    return items;
}

// Runs `steps` once the settings dialog shows modally; a dialog the steps leave open
// is closed, so that a failing check never hangs the test.
void WhenSettingsShow(frmSettings& settings, const std::function<void()>& steps)
{
    auto* poll = new QTimer(&settings);
    QObject::connect(poll, &QTimer::timeout, &settings, [poll, &settings, steps] {
        if (!settings.isVisible())
            return;
        poll->deleteLater();
        steps();
        if (settings.isVisible())
            settings.done(QDialog::Rejected + 100);
    });
    poll->start(10);
}

// The payload types of the audio offer in the first INVITE to `user`.
QString OfferedPayloads(const SipTrace& trace, const QString& user)
{
    const QStringList invites = SipTrace::Starting(trace.sent, "INVITE sip:" + user + "@");
    if (invites.isEmpty())
        return QString();
    for (const QString& line : invites.last().split("\r\n")) {
        if (line.startsWith("m=audio "))
            return line.section(' ', 3);
    }
    return QString();
}

} // namespace

void StartupTest::firstRunWizardEndsRegistered()
{
    Peers peers(kUsers, "2002", "secret2", "auto");
    QVERIFY(peers.IsReady());
    SoftphoneHarness trn;
    frmSoftphone& window = trn.Create();
    frmSettings& settings = window.Settings();
    bool wizard = false;
    QString sipPort;
    QStringList microphones, speakers;
    int micSelected = 0, speakerSelected = 0;
    WhenSettingsShow(settings, [&] {
        wizard = settings.IsWizardMode() && settings.CurrentPage() == frmSettings::SipPage;
        sipPort = Child<QLineEdit>(settings, "txtConfigSipPort")->text();
        microphones = Items(Child<QComboBox>(settings, "cbxConfigMicDevice"));
        speakers = Items(Child<QComboBox>(settings, "cbxConfigFoneDevice"));
        micSelected = Child<QComboBox>(settings, "cbxConfigMicDevice")->currentIndex();
        speakerSelected = Child<QComboBox>(settings, "cbxConfigFoneDevice")->currentIndex();
        Child<QLineEdit>(settings, "txtConfigSIPLogin")->setText("1001");
        Child<QLineEdit>(settings, "txtConfigSIPPass")->setText("secret");
        Child<QLineEdit>(settings, "txtConfigSIPProxy")->setText(peers.Proxy());
        Child<QComboBox>(settings, "cbxConfigMicDevice")->setCurrentIndex(0);
        Child<QComboBox>(settings, "cbxConfigFoneDevice")->setCurrentIndex(1);
        Child<QCheckBox>(settings, "chkCodecG711u")->setChecked(true);
        for (int i = 0; i < 4; ++i)
            Child<QPushButton>(settings, "cmdNext")->click();
    });
    window.FormLoad();
    QVERIFY(wizard);
    QCOMPARE(sipPort, QString("5060"));
    QCOMPARE(microphones, QStringList({"Default Device", "Virtual Microphone"}));
    QCOMPARE(speakers, QStringList({"Default Device", "Virtual Speaker"}));
    QCOMPARE(micSelected, -1);
    QCOMPARE(speakerSelected, -1);
    QVERIFY(window.isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Registered"), kSipWaitMs);
    QVERIFY(peers.IsRegistered("1001"));
    QVERIFY(QFile::exists(trn.home.File("TARN.INI")));
    QCOMPARE(settings.SpeakerDeviceId(), 0);
    QCOMPARE(settings.MicDeviceId(), -1);

    // One user agent: every REGISTER left from the same port, in one registration.
    const QStringList registers = SipTrace::Starting(trn.trace.sent, "REGISTER ");
    QCOMPARE(registers.size(), 2); // the challenged one and the one with credentials
    const QString via = registers.first().section("Via: ", 1).section(";", 0, 0);
    const QString callId = registers.first().section("Call-ID: ", 1).section("\r\n", 0, 0);
    for (const QString& request : registers) {
        QVERIFY(request.contains("Via: " + via + ";"));
        QVERIFY(request.contains("Call-ID: " + callId + "\r\n"));
    }
    QVERIFY(trn.boxes.Take().isEmpty());
}

void StartupTest::deviceListsAndCodecChoicesReachTheControl()
{
    Peers peers(kUsers, "2002", "secret2", "auto");
    QVERIFY(peers.IsReady());
    SoftphoneHarness trn;
    // A device list position that no longer exists: the wizard opens, here cancelled
    // only by the test (the program would close).
    trn.WriteSettings(peers.Proxy(), {{"AudioMicDeviceIndex=0", "AudioMicDeviceIndex=2"},
                                      {"CodecGSM=0", "CodecGSM=1"}});
    frmSoftphone& window = trn.Create();
    frmSettings& settings = window.Settings();
    bool wizardForStaleDevice = false;
    bool codecsClearInWizard = false;
    WhenSettingsShow(settings, [&] {
        wizardForStaleDevice = settings.IsWizardMode();
        Child<QComboBox>(settings, "cbxConfigMicDevice")->setCurrentIndex(1);
        // The keys after the bad one were not loaded: the boxes are still clear.
        codecsClearInWizard = !Child<QCheckBox>(settings, "chkCodecGSM")->isChecked() &&
                              !Child<QCheckBox>(settings, "chkCodecG711u")->isChecked();
        Child<QCheckBox>(settings, "chkCodecG711u")->setChecked(true);
        Child<QCheckBox>(settings, "chkCodecGSM")->setChecked(true);
        for (int i = 0; i < 4; ++i)
            Child<QPushButton>(settings, "cmdNext")->click();
    });
    window.FormLoad();
    QVERIFY(wizardForStaleDevice);
    QVERIFY(codecsClearInWizard);
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Registered"), kSipWaitMs);
    QCOMPARE(settings.MicDeviceId(), 0);
    QVERIFY(trn.home.ReadFile("TARN.INI").contains("AudioMicDevice=Virtual Microphone\n"));

    trn.Dial("2002");
    trn.Click("cmdChamar");
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Conected"), kSipWaitMs);
    QCOMPARE(OfferedPayloads(trn.trace, "2002"), QString("0 3 101")); // PCMU, then GSM
    trn.Click("cmdDesligar");
    peers.WaitBaresipEvent("CALL_CLOSED");

    // Unticking GSM and ticking G-729 restart the phone with codecs 3 and 4.
    WhenSettingsShow(settings, [&] {
        QVERIFY(!settings.IsWizardMode());
        Child<QCheckBox>(settings, "chkCodecGSM")->setChecked(false);
        Child<QCheckBox>(settings, "chkCodecG729")->setChecked(true);
        Child<QPushButton>(settings, "cmdApply")->click();
    });
    trn.Click("cmdMenu");
    QVERIFY(!settings.isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Registered"), kSipWaitMs);
    trn.trace.sent.clear();
    trn.Dial("2002");
    trn.Click("cmdChamar");
    QTRY_VERIFY_WITH_TIMEOUT(!OfferedPayloads(trn.trace, "2002").isEmpty(), kSipWaitMs);
    QCOMPARE(OfferedPayloads(trn.trace, "2002"), QString("0 18 101"));
    QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Conected"), kSipWaitMs);
    QCOMPARE(trn.Codec(), QString("gsm711u"));
    trn.Click("cmdDesligar");
}

namespace {

// What the text of a quoted-string display name reads as.
QString Unquoted(QString name)
{
    if (name.startsWith('"') && name.endsWith('"'))
        name = name.mid(1, name.size() - 2);
    QString text;
    for (qsizetype i = 0; i < name.size(); ++i)
        text += name[i] == '\\' && i + 1 < name.size() ? name[++i] : name[i];
    return text;
}

// A second trn started on the folder of the first: what its window load does, with
// the message it shows printed; it ends with 0 when it gives way.
int StartAgain(int argc, char** argv)
{
    QApplication app(argc, argv);
    ScriptedMessageBoxes boxes;
    frmSoftphone window;
    const bool loaded = window.FormLoad();
    std::printf("%s\n", qPrintable(boxes.Take().join('|')));
    return loaded ? 3 : 0;
}

} // namespace

void StartupTest::secondStartOnTheSameFolderLeavesTheFirstAlone()
{
    Peers peers(kUsers, "2002", "secret2", "auto");
    QVERIFY(peers.IsReady());
    SoftphoneHarness first;
    first.WriteSettings(peers.Proxy());
    first.Load();
    QTRY_COMPARE_WITH_TIMEOUT(first.Status(), QString("Registered"), kSipWaitMs);
    QVERIFY(QFile::exists(first.home.File("trn.lock")));

    QProcess second;
    second.start(QCoreApplication::applicationFilePath(), {"--start-again"});
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(second.readAllStandardOutput()).trimmed(), QString("TARN Softphone is already running."));
    // The first one still holds its folder, its commands and its registration.
    QVERIFY(QFile::exists(first.home.File("trn.lock")));
    first.trace.sent.clear();
    first.home.WriteFile("INPUT.INI", "[ACTION]\nCOMMAND=Dial\nPARAMETER=2002\nMESSAGE=\n");
    QTRY_COMPARE_WITH_TIMEOUT(first.Status(), QString("Conected"), kSipWaitMs);
    QVERIFY(peers.IsRegistered("1001"));
    first.Click("cmdDesligar");
}

// Names beyond ASCII, quotes and backslashes register and reach kamailio as written;
// TARN.INI from a Windows-era tool (Windows-1252) reads as the letters it meant, and is
// written back in UTF-8.
void StartupTest::displayNamesAndWindowsTextRegister()
{
    Peers peers({{"1001", "secret"}, {"1003", "s\u00e9cret"}, {"2002", "secret2"}}, "2002", "secret2", "auto");
    QVERIFY(peers.IsReady());
    const QList<QPair<QByteArray, QString>> names = {{"Jos\xC3\xA9", "Jos\u00e9"},
                                                     {"Agent \"One\"", "Agent \"One\""},
                                                     {"back\\slash", "back\\slash"},
                                                     {"Jos\xE9", "Jos\u00e9"}};
    for (const auto& [written, meant] : names) {
        SoftphoneHarness trn;
        trn.WriteSettings(peers.Proxy());
        QByteArray settings = trn.home.ReadFile("TARN.INI").toUtf8();
        settings.replace("SIPNome=", "SIPNome=" + written);
        if (written == "Jos\xE9")
            settings.replace("SIPLogin=1001", "SIPLogin=1003").replace("SIPPass=secret", "SIPPass=s\xE9" "cret");
        QFile file(trn.home.File("TARN.INI"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(settings) == settings.size());
        file.close();
        trn.Load();
        QTRY_COMPARE_WITH_TIMEOUT(trn.Status(), QString("Registered"), kSipWaitMs);
        QCOMPARE(trn.Window().Settings().DisplayName(), meant);
        const QString log = peers.Logs();
        const qsizetype at = log.lastIndexOf("display name [");
        QVERIFY2(at >= 0, qPrintable(log));
        const QString seen = log.mid(at + 14, log.indexOf("]\n", at) - at - 14);
        QCOMPARE(Unquoted(seen), meant);
        if (written == "Jos\xE9") {
            QVERIFY(trn.Window().Settings().SaveSettings());
            const QByteArray saved = trn.home.ReadFile("TARN.INI").toUtf8();
            QVERIFY(saved.contains("SIPNome=Jos\xC3\xA9\n") && saved.contains("SIPPass=s\xC3\xA9" "cret\n"));
        }
    }
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--start-again") == 0)
        return StartAgain(argc, argv);
    QApplication app(argc, argv);
    StartupTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "StartupTest.moc"
