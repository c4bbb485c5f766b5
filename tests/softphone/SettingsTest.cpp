#include "softphone/frmSettings.h"
#include "softphone/AutostartEntry.h"
#include "tests/softphone/Child.h"
#include "tests/softphone/ScriptedMessageBoxes.h"
#include "tests/softphone/TestHome.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

#include <functional>

class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void firstRunWizardWritesTheFile();
    void validationMessages();
    void cancelRestoresAndApplySaves();
    void loadFailuresOpenTheWizard();
    void autostartEntryFollowsTheBox();
};

namespace {

const char* const kCheckBoxes[] = {"chkAudioEchoCan", "chkAudioAEC",  "chkAudioMicBooster", "chkCodecG711u",
                                   "chkCodecG729",    "chkCodecG711a", "chkCodecGSM",       "chkCodecILBC",
                                   "chkEnableCTI",    "chkAlwaysOnTop", "chkConfirmBeforeClose",
                                   "chkStartupOnSystray", "chkStartUpWithSystem"};

// A file as "Apply" writes it, with login 1001 and proxy 127.0.0.1.
const char* const kSavedFile = "[SIP]\nSIPLogin=1001\nSIPPass=secret\nSIPProxy=127.0.0.1\nSIPNome=\nSIPPort=5060\n"
                               "SIPOutboundProxy=\nCAFile=\nStunServer=\n\n[AUDIO]\nAudioFoneDevice=\nAudioMicDevice=\n"
                     "AudioFoneDeviceIndex=-1\n"
                               "AudioMicDeviceIndex=-1\nEchoCancel=1\nAEC=0\nMicBooster=0\n\n[GENERAL]\nAwaysOnTop=0\n"
                               "ConfirmBeforeClose=1\nStarupOnSystray=0\nStartUpWithWindows=0\n\n[CODECS]\n"
                               "CodecG711u=1\nCodecG729=1\nCodecG711a=0\nCodecGSM=0\nCodecILBC=0\n\n[CTI]\n"
                               "EnableCTITCP=False\nEnableCTIXML=True\nEnableCTI=1\nTCPPort=2500\n";

QLineEdit* Text(QWidget& dialog, const char* name)
{
    return Child<QLineEdit>(dialog, name);
}

void Click(QWidget& dialog, const char* name)
{
    QPushButton* button = Child<QPushButton>(dialog, name);
    if (!button->isVisible())
        qFatal("%s is not in front", name);
    button->click();
}

// Runs `steps` inside the dialog's modal loop, and closes the dialog should the steps
// leave it open, so that a failing check never hangs the test.
void WhileModal(QDialog& dialog, const std::function<void()>& steps)
{
    QTimer::singleShot(0, &dialog, [&dialog, steps] {
        steps();
        if (dialog.isVisible())
            dialog.done(QDialog::Rejected + 100);
    });
}

unsigned ModeOf(const QString& path)
{
    return static_cast<unsigned>(QFile(path).permissions() &
                                 (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup |
                                  QFile::ReadOther | QFile::WriteOther));
}

constexpr unsigned kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;
constexpr QFile::Permissions kOthersAndGroup = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                               QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;

} // namespace

void SettingsTest::firstRunWizardWritesTheFile()
{
    TestHome home;
    ScriptedMessageBoxes boxes;
    frmSettings settings;
    QVERIFY(!settings.LoadSettings());

    bool wizardRow = false;
    int page = 0;
    QString sipPort, tcpPort;
    int ticked = 0;
    int speaker = 0, mic = 0;
    QStringList captions;
    QStringList pages;
    WhileModal(settings, [&] {
        wizardRow = settings.IsWizardMode() && Child<QWidget>(settings, "frmWizardControl")->isVisible() &&
                    !Child<QWidget>(settings, "frameControl")->isVisible();
        page = settings.CurrentPage();
        sipPort = Text(settings, "txtConfigSipPort")->text();
        tcpPort = Text(settings, "txtConfigTCPPort")->text();
        for (const char* name : kCheckBoxes)
            ticked += Child<QCheckBox>(settings, name)->isChecked() ? 1 : 0;
        ticked += Child<QRadioButton>(settings, "optCTITCP")->isChecked() ? 1 : 0;
        ticked += Child<QRadioButton>(settings, "optCTIXML")->isChecked() ? 1 : 0;
        speaker = Child<QComboBox>(settings, "cbxConfigFoneDevice")->currentIndex();
        mic = Child<QComboBox>(settings, "cbxConfigMicDevice")->currentIndex();

        Text(settings, "txtConfigSIPLogin")->setText("1001");
        Text(settings, "txtConfigSIPPass")->setText("secret");
        Text(settings, "txtConfigSIPProxy")->setText("127.0.0.1");
        QPushButton* next = Child<QPushButton>(settings, "cmdNext");
        for (int i = 0; i < 3; ++i) {
            Click(settings, "cmdNext");
            captions << next->text();
            pages << QString::number(settings.CurrentPage());
        }
        Child<QCheckBox>(settings, "chkCodecG711u")->setChecked(true);
        Child<QCheckBox>(settings, "chkCodecG729")->setChecked(true);
        Click(settings, "cmdPreview");
        captions << next->text();
        Click(settings, "cmdNext");
        captions << next->text();
        Click(settings, "cmdNext"); // "Finish"
    });
    QVERIFY(settings.RunFirstRunWizard());
    QVERIFY(wizardRow);
    QCOMPARE(page, 1);
    QCOMPARE(sipPort, QString("5060"));
    QCOMPARE(tcpPort, QString("2500"));
    QCOMPARE(ticked, 0);
    QCOMPARE(speaker, -1);
    QCOMPARE(mic, -1);
    QCOMPARE(captions, QStringList({"Next >", "Next >", "Finish", "Next", "Finish"}));
    QCOMPARE(pages, QStringList({"2", "3", "4"}));
    QCOMPARE(boxes.Take(), QStringList());

    const QString path = frmSettings::SettingsFile();
    QCOMPARE(path, home.File("TARN.INI"));
    QCOMPARE(ModeOf(path), kOwnerOnly);
    QCOMPARE(home.ReadFile("TARN.INI"),
             QString("[SIP]\nSIPLogin=1001\nSIPPass=secret\nSIPProxy=127.0.0.1\nSIPNome=\nSIPPort=5060\n"
                     "SIPOutboundProxy=\nCAFile=\nMediaEncryption=0\nStunServer=\n\n[AUDIO]\nAudioFoneDevice=\nAudioMicDevice=\n"
                     "AudioFoneDeviceIndex=-1\n"
                     "AudioMicDeviceIndex=-1\nEchoCancel=0\nAEC=0\nMicBooster=0\n\n[GENERAL]\nAwaysOnTop=0\n"
                     "ConfirmBeforeClose=0\nStarupOnSystray=0\nStartUpWithWindows=0\n\n[CODECS]\n"
                     "CodecG711u=1\nCodecG729=1\nCodecG711a=0\nCodecGSM=0\nCodecILBC=0\n\n[CTI]\n"
                     "EnableCTITCP=False\nEnableCTIXML=False\nEnableCTI=0\nTCPPort=2500\n"));
    QVERIFY(settings.LoadSettings());
    QVERIFY(!settings.IsWizardMode());
    // Every setting of the table has its field on its own page.
    for (const SettingsTable::Row& row : SettingsTable::Rows()) {
        QWidget* field = Child<QWidget>(settings, row.field);
        QVERIFY2(Child<QStackedWidget>(settings, "pages")->widget(row.page - 1)->isAncestorOf(field), row.key);
    }

    qputenv("TRN_HOME", home.File("new/folder").toUtf8());
    QVERIFY(settings.SaveSettings());
    QVERIFY(QFile::exists(home.File("new/folder/TARN.INI")));
    for (const char* created : {"new", "new/folder"})
        QCOMPARE(QFileInfo(home.File(created)).permissions() & kOthersAndGroup, QFile::Permissions());
}

void SettingsTest::validationMessages()
{
    TestHome home;
    home.WriteFile("TARN.INI", kSavedFile);
    ScriptedMessageBoxes boxes;
    frmSettings settings;
    QVERIFY(settings.LoadSettings());
    QSignalSpy applied(&settings, &frmSettings::SettingsApplied);
    QStringList pages;
    QList<QWidget*> focused;
    // Each attempt edits fields, then presses "Apply" from the Audio page.
    const QList<QList<QPair<const char*, QString>>> attempts = {
        {{"txtConfigSIPLogin", " "}},
        {{"txtConfigSIPLogin", "1001"}, {"txtConfigSIPProxy", "\t"}},
        {{"txtConfigSIPProxy", "pbx"}, {"txtConfigSipPort", "  "}},
        {{"txtConfigSipPort", "50a0"}},
        {{"txtConfigSipPort", " 5060"}},
        {{"txtConfigSipPort", "-1"}},
        {{"txtConfigSipPort", "99999"}, {"txtConfigStunServer", "stun server"}},
        {{"txtConfigStunServer", " stun.example.net:3479 "}},
        {{"txtConfigTCPPort", "2501"}},
    };
    WhileModal(settings, [&] {
        QApplication::setActiveWindow(&settings);
        Child<QRadioButton>(settings, "optCTITCP")->setChecked(true);
        Text(settings, "txtConfigTCPPort")->setText("65536");
        for (const auto& edits : attempts) {
            for (const auto& [field, text] : edits)
                Text(settings, field)->setText(text);
            settings.ShowPage(frmSettings::AudioPage);
            Click(settings, "cmdApply");
            pages << QString::number(settings.CurrentPage());
            focused << QApplication::focusWidget();
            if (!settings.isVisible())
                break;
        }
    });
    settings.RunNormal();
    QCOMPARE(boxes.Take(), QStringList({"The SIP Login must be informed", "The SIP Proxy must be informed",
                                        "The SIP Port must be informed", "The SIP Port is not valid",
                                        "The SIP Port is not valid", "The SIP Port is not valid",
                                        "The STUN server is not valid", "The CTI TCP Port is not valid"}));
    QCOMPARE(boxes.icons.count(MessageBoxes::Icon::Information), 8);
    QCOMPARE(pages, QStringList({"1", "1", "1", "1", "1", "1", "1", "3", "2"}));
    QCOMPARE(focused.at(0), Text(settings, "txtConfigSIPLogin"));
    QCOMPARE(focused.at(1), Text(settings, "txtConfigSIPProxy"));
    QCOMPARE(focused.at(2), Text(settings, "txtConfigSipPort"));
    QCOMPARE(focused.at(3), Text(settings, "txtConfigSipPort"));
    QCOMPARE(focused.at(6), Text(settings, "txtConfigStunServer"));
    QCOMPARE(focused.at(7), Text(settings, "txtConfigTCPPort"));
    QCOMPARE(applied.count(), 1); // 99999: no range check
    QVERIFY(!settings.isVisible());
    QVERIFY(home.ReadFile("TARN.INI").contains("SIPPort=99999\n"));
    QVERIFY(home.ReadFile("TARN.INI").contains("SIPProxy=pbx\n"));
    QVERIFY(home.ReadFile("TARN.INI").contains("TCPPort=2501\n"));
    QVERIFY(home.ReadFile("TARN.INI").contains("StunServer= stun.example.net:3479 \n"));
    QCOMPARE(settings.StunServer(), QString("stun.example.net:3479"));
}

void SettingsTest::cancelRestoresAndApplySaves()
{
    TestHome home;
    home.WriteFile("TARN.INI", kSavedFile);
    QFile::setPermissions(home.File("TARN.INI"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    ScriptedMessageBoxes boxes;
    frmSettings settings;
    QVERIFY(settings.LoadSettings());
    QCOMPARE(settings.Login(), QString("1001"));
    QCOMPARE(settings.Password(), QString("secret"));
    QCOMPARE(settings.Proxy(), QString("127.0.0.1"));
    QVERIFY(settings.ConfirmBeforeClose());
    QVERIFY(!settings.AlwaysOnTop());
    QCOMPARE(settings.MicDeviceId(), -2);
    QVERIFY(Child<QCheckBox>(settings, "chkCodecG729")->isEnabled());
    QVERIFY(Child<QRadioButton>(settings, "optCTITCP")->isEnabled());
    QVERIFY(Child<QRadioButton>(settings, "optCTIXML")->isChecked());

    WhileModal(settings, [&] {
        Text(settings, "txtConfigSIPProxy")->setText("10.0.0.5");
        Child<QCheckBox>(settings, "chkAudioEchoCan")->setChecked(false);
        Child<QRadioButton>(settings, "optCTITCP")->setChecked(true);
        Click(settings, "cmdCancel");
    });
    settings.RunNormal();
    QCOMPARE(settings.Proxy(), QString("127.0.0.1"));
    QVERIFY(Child<QCheckBox>(settings, "chkAudioEchoCan")->isChecked());
    QVERIFY(Child<QRadioButton>(settings, "optCTIXML")->isChecked());
    QVERIFY(!Child<QRadioButton>(settings, "optCTITCP")->isChecked());
    QCOMPARE(home.ReadFile("TARN.INI"), QString(kSavedFile));

    WhileModal(settings, [&] {
        Text(settings, "txtConfigSIPProxy")->setText("10.0.0.5");
        QTest::keyClick(&settings, Qt::Key_Escape); // Esc is "Cancel" too
        Text(settings, "txtConfigSIPProxy")->setText("10.0.0.6");
        Child<QRadioButton>(settings, "optCTITCP")->setChecked(true);
    });
    settings.RunNormal();
    QCOMPARE(settings.Proxy(), QString("10.0.0.6")); // edited after Esc had cancelled and closed
    settings.RestoreSettings();
    QCOMPARE(settings.Proxy(), QString("127.0.0.1"));

    QSignalSpy applied(&settings, &frmSettings::SettingsApplied);
    // A file from before "Call encryption" existed loads as off and gets the key.
    QCOMPARE(settings.MediaEncryption(), 0);
    WhileModal(settings, [&] {
        Text(settings, "txtConfigSIPProxy")->setText("10.0.0.5");
        Child<QRadioButton>(settings, "optCTITCP")->setChecked(true);
        Child<QComboBox>(settings, "cbxConfigMediaEncryption")->setCurrentIndex(2);
        Click(settings, "cmdApply");
    });
    settings.RunNormal();
    QCOMPARE(applied.count(), 1);
    QCOMPARE(settings.MediaEncryption(), 2);
    QString expected = QString(kSavedFile)
                           .replace("StunServer=\n", "StunServer=\nMediaEncryption=2\n")
                           .replace("SIPProxy=127.0.0.1", "SIPProxy=10.0.0.5")
                           .replace("EnableCTITCP=False\nEnableCTIXML=True", "EnableCTITCP=True\nEnableCTIXML=False");
    QCOMPARE(home.ReadFile("TARN.INI"), expected);
    QCOMPARE(ModeOf(home.File("TARN.INI")), kOwnerOnly);
    settings.RestoreSettings();
    QCOMPARE(settings.Proxy(), QString("10.0.0.5")); // "Apply" took a new snapshot

    // A file that cannot be replaced: the user is told, the dialog stays with the edits.
    QVERIFY(QFile::remove(home.File("TARN.INI")));
    QVERIFY(QDir(home.File("")).mkdir("TARN.INI"));
    bool stayedOpen = false;
    WhileModal(settings, [&] {
        Text(settings, "txtConfigSIPProxy")->setText("10.0.0.7");
        Click(settings, "cmdApply");
        stayedOpen = settings.isVisible();
    });
    settings.RunNormal();
    QVERIFY(stayedOpen);
    QCOMPARE(applied.count(), 1);
    QCOMPARE(boxes.Take(), QStringList({"The settings could not be saved in " + frmSettings::SettingsFile() + "."}));
    QCOMPARE(settings.Proxy(), QString("10.0.0.7"));
}

void SettingsTest::loadFailuresOpenTheWizard()
{
    TestHome home;
    ScriptedMessageBoxes boxes;
    frmSettings settings;
    struct Broken {
        QString from;
        QString to;
        QString loadedProxy;
        bool echoTicked;
    };
    const Broken cases[] = {
        {"AudioFoneDeviceIndex=-1", "AudioFoneDeviceIndex=", "127.0.0.1", false},
        {"AudioMicDeviceIndex=-1", "AudioMicDeviceIndex=0", "127.0.0.1", false}, // beyond the empty list
        {"AudioMicDeviceIndex=-1", "AudioMicDeviceIndex=x1", "127.0.0.1", false},
        {"AudioFoneDeviceIndex=-1", "AudioFoneDeviceIndex=-2", "127.0.0.1", false},
        {"EchoCancel=1", "EchoCancel=3", "127.0.0.1", false},
        {"CodecGSM=0", "CodecGSM=yes", "127.0.0.1", true},
        {"EnableCTIXML=True", "EnableCTIXML=maybe", "127.0.0.1", true},
        {"EnableCTITCP=False", "EnableCTITCP=", "127.0.0.1", true},
        {"CAFile=\n", "CAFile=\nMediaEncryption=3\n", "127.0.0.1", false},
        {"CAFile=\n", "CAFile=\nMediaEncryption=on\n", "127.0.0.1", false},
    };
    for (const Broken& broken : cases) {
        settings.RestoreSettings(); // back to the first-run values
        home.WriteFile("TARN.INI", QString(kSavedFile).replace(broken.from, broken.to));
        QVERIFY2(!settings.LoadSettings(), qPrintable(broken.to));
        QCOMPARE(settings.Proxy(), broken.loadedProxy);
        QCOMPARE(Child<QCheckBox>(settings, "chkAudioEchoCan")->isChecked(), broken.echoTicked);
    }

    home.WriteFile("TARN.INI", QString(kSavedFile).replace("EchoCancel=1", "EchoCancel=2")
                                   .replace("EnableCTITCP=False", "EnableCTITCP=-1")
                                   .replace("EnableCTIXML=True", "EnableCTIXML=0"));
    QVERIFY(settings.LoadSettings());
    QVERIFY(Child<QCheckBox>(settings, "chkAudioEchoCan")->isChecked()); // 2 counts as ticked
    QVERIFY(Child<QRadioButton>(settings, "optCTITCP")->isChecked());

    // Both options set, as an older tool could write them: the socket's wins.
    home.WriteFile("TARN.INI", QString(kSavedFile).replace("EnableCTITCP=False", "EnableCTITCP=True"));
    QVERIFY(settings.LoadSettings());
    QVERIFY(settings.CtiOverTcp());
    QVERIFY(!Child<QRadioButton>(settings, "optCTIXML")->isChecked());

    home.WriteFile("TARN.INI", "");
    QVERIFY(!settings.LoadSettings());
    QByteArray garbage;
    for (int i = 0; i < 200000; ++i)
        garbage.append(static_cast<char>((i * 7919) & 0xFF));
    QFile file(home.File("TARN.INI"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(garbage);
    file.close();
    QVERIFY(!settings.LoadSettings());

    bool cancelledStaysOpen = false;
    QSignalSpy cancelled(&settings, &frmSettings::WizardCancelled);
    WhileModal(settings, [&] {
        Click(settings, "cmdWizardCancel");
        QTest::keyClick(&settings, Qt::Key_Escape);
        cancelledStaysOpen = settings.isVisible(); // the program closes it, or the user declined closing
    });
    QVERIFY(!settings.RunFirstRunWizard());
    QCOMPARE(cancelled.count(), 2);
    QVERIFY(cancelledStaysOpen);
}

void SettingsTest::autostartEntryFollowsTheBox()
{
    TestHome home;
    home.WriteFile("TARN.INI", kSavedFile);
    frmSettings settings;
    QVERIFY(settings.LoadSettings());
    const QString entry = AutostartEntry::Path();
    QCOMPARE(entry, home.File("config/autostart/TarnSoftphone.desktop"));
    QVERIFY(settings.SaveSettings());
    QVERIFY(!QFile::exists(entry));

    Child<QCheckBox>(settings, "chkStartUpWithSystem")->setChecked(true);
    QCOMPARE(Child<QCheckBox>(settings, "chkStartUpWithSystem")->text(), QString("Launch at login"));
    QVERIFY(settings.SaveSettings());
    QVERIFY(home.ReadFile("TARN.INI").contains("StartUpWithWindows=1\n"));
    QCOMPARE(ModeOf(entry), kOwnerOnly);
    QFile desktop(entry);
    QVERIFY(desktop.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(desktop.readAll());
    QVERIFY(text.startsWith("[Desktop Entry]\nType=Application\n"));
    const QString exec = QString("Exec=env \"TRN_HOME=%1\" \"%2\"\n")
                             .arg(qEnvironmentVariable("TRN_HOME"), QApplication::applicationFilePath());
    QVERIFY2(text.contains(exec), qPrintable(text));
    // Loading ticked settings writes the entry again, for the program that runs now.
    QVERIFY(QFile::remove(entry));
    QVERIFY(frmSettings().LoadSettings());
    QVERIFY(QFile::exists(entry));

    Child<QCheckBox>(settings, "chkStartUpWithSystem")->setChecked(false);
    QVERIFY(settings.SaveSettings());
    QVERIFY(!QFile::exists(entry));
    QVERIFY(settings.SaveSettings()); // removing an absent entry is normal
    QVERIFY(!QFile::exists(entry));
}

QTEST_MAIN(SettingsTest)
#include "SettingsTest.moc"
