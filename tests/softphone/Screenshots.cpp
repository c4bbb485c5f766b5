// Takes the screenshots of trn shown in the README: run under Xvfb by
// scripts/screenshots.sh, with kamailio and baresip as the far end.
//   softphone_screenshots OUTPUT_FOLDER
#include "softphone/CallQualityBars.h"
#include "softphone/frmIncommingCall.h"
#include "softphone/frmSettings.h"
#include "tests/softphone/Peers.h"
#include "tests/softphone/SoftphoneHarness.h"

#include <QApplication>
#include <QJsonObject>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

bool WaitForStatus(SoftphoneHarness& trn, const QString& status)
{
    return QTest::qWaitFor([&] { return trn.Status() == status; }, 15000);
}

bool Save(const QPixmap& pixmap, const QString& folder, const QString& name)
{
    const bool saved = pixmap.save(folder + '/' + name);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(folder + '/' + name));
    return saved;
}

// The window as it looks on the screen (its frame, when a window manager draws one).
QPixmap Shot(QWidget& window)
{
    QTest::qWait(300);
    return window.grab();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    Peers peers(QJsonObject{{"1001", "secret"}, {"2002", "secret2"}}, "2002", "secret2", "auto");
    if (!peers.IsReady())
        return 1;
    SoftphoneHarness trn;
    trn.WriteSettings(peers.Proxy(), {{"SIPNome=", "SIPNome=Alice"}});
    frmSoftphone& window = trn.Load();
    window.move(360, 120);
    if (!WaitForStatus(trn, "Registered"))
        return 1;
    trn.Dial("2002");
    bool ok = Save(Shot(window), folder, "trn-dialing.png");

    trn.Click("cmdChamar");
    if (!WaitForStatus(trn, "Conected"))
        return 1;
    const CallQualityBars* bars = window.findChild<CallQualityBars*>(QStringLiteral("lblCallQuality"));
    if (!QTest::qWaitFor([&] { return bars->Bars() > 0; }, 10000))
        return 1;
    ok = Save(Shot(window), folder, "trn-call.png") && ok;
    trn.Click("cmdDesligar");
    peers.WaitBaresipEvent("CALL_CLOSED");

    peers.Baresip("dial", "sip:1001@" + peers.Proxy());
    if (!WaitForStatus(trn, "Incoming Call"))
        return 1;
    if (!QTest::qWaitFor([&] { return !window.Popup()->IsSliding(); }, 5000))
        return 1;
    QTest::qWait(300);
    ok = Save(window.screen()->grabWindow(0), folder, "trn-incoming.png") && ok;
    trn.Click("cmdRejeitar");

    frmSettings& settings = window.Settings();
    QTimer::singleShot(300, &settings, [&] {
        ok = Save(settings.grab(), folder, "trn-settings-sip.png") && ok;
        settings.ShowPage(frmSettings::AudioPage);
        QTimer::singleShot(300, &settings, [&] {
            ok = Save(settings.grab(), folder, "trn-settings-audio.png") && ok;
            settings.done(QDialog::Rejected);
        });
    });
    trn.Click("cmdMenu");
    return ok ? 0 : 1;
}
