#include "softphone/TrayIcon.h"
#include "softphone/WindowOnTop.h"
#include "softphone/frmIncommingCall.h"
#include "softphone/frmTranfer.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class DesktopTest : public QObject {
    Q_OBJECT

private slots:
    void popupRisesToItsRestingPlace();
    void transferDialogPassesTheTextUnchanged();
    void alwaysOnTopKeepsWindowsShown();
    void trayMenuOffersShowSettingsExit();
};

void DesktopTest::popupRisesToItsRestingPlace()
{
    frmIncommingCall popup;
    QCOMPARE(popup.windowTitle(), QString("Incoming Call"));
    QSignalSpy answers(&popup, &frmIncommingCall::AnswerClicked);
    QSignalSpy rejects(&popup, &frmIncommingCall::RejectClicked);
    popup.ShowIncomingCallPopup("Bob", "2002");
    QVERIFY(popup.isVisible());
    QVERIFY(popup.IsSliding());
    QCOMPARE(popup.findChild<QLabel*>("lblName")->text(), QString("Bob"));
    QCOMPARE(popup.findChild<QLabel*>("lblNumber")->text(), QString("2002"));

    const QScreen* screen = popup.screen();
    const QRect area = screen->geometry();
    const qreal dpi = screen->logicalDotsPerInchY();
    QVERIFY2(popup.y() >= area.bottom(), "the slide starts below the screen");
    // One tick of the slide, by hand, then the rest by the timer.
    QTimer* timer = popup.findChild<QTimer*>("timerMoveForm");
    QCOMPARE(timer->interval(), 1);
    timer->stop();
    const int firstTop = popup.y();
    emit timer->timeout({});
    const int step = firstTop - popup.y();
    QVERIFY2(std::abs(step - frmIncommingCall::TwipsToPixels(50, dpi)) <= 1, qPrintable(QString::number(step)));
    timer->start();
    QTRY_VERIFY(!popup.IsSliding());
    const int restAbove = frmIncommingCall::TwipsToPixels(350, dpi);
    QCOMPARE(popup.frameGeometry().bottom() + 1, area.bottom() + 1 - restAbove);
    QCOMPARE(popup.frameGeometry().right(), area.right());

    popup.ShowIncomingCallPopup("Carol", "");
    QVERIFY2(popup.y() >= area.bottom(), "a second call starts the slide again");
    QVERIFY(popup.IsSliding());
    QCOMPARE(popup.findChild<QLabel*>("lblName")->text(), QString("Carol"));
    QCOMPARE(popup.findChild<QLabel*>("lblNumber")->text(), QString());
    popup.hide();
    QVERIFY(!popup.IsSliding());

    popup.findChild<QPushButton*>("cmdAnswer")->click();
    QPushButton* reject = popup.findChild<QPushButton*>("cmdRegect");
    QCOMPARE(reject->text(), QString("Regect"));
    reject->click();
    QCOMPARE(answers.count(), 1);
    QCOMPARE(rejects.count(), 1);
}

void DesktopTest::transferDialogPassesTheTextUnchanged()
{
    for (const QString& typed : {QString(" 300 "), QString()}) {
        QPointer<frmTranfer> dialog = new frmTranfer;
        QSignalSpy requests(dialog.data(), &frmTranfer::TransferRequested);
        dialog->show();
        QLineEdit* text = dialog->findChild<QLineEdit*>("txtToTranfer");
        QVERIFY(text != nullptr);
        text->setText(typed);
        QPushButton* transfer = dialog->findChild<QPushButton*>("cmdTranfer");
        QCOMPARE(transfer->text(), QString("Tranfer"));
        transfer->click();
        QCOMPARE(requests.count(), 1);
        QCOMPARE(requests.at(0).at(0).toString(), typed);
        QTRY_VERIFY(dialog.isNull()); // unloaded after use
    }
    QPointer<frmTranfer> cancelled = new frmTranfer;
    QSignalSpy requests(cancelled.data(), &frmTranfer::TransferRequested);
    cancelled->show();
    cancelled->findChild<QPushButton*>("cmdCancel")->click();
    QTRY_VERIFY(cancelled.isNull());
    QCOMPARE(requests.count(), 0);
}

void DesktopTest::alwaysOnTopKeepsWindowsShown()
{
    QWidget window;
    window.setGeometry(40, 50, 200, 120);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect before = window.geometry();
    WindowOnTop::Set(&window, true);
    QVERIFY(WindowOnTop::IsSet(&window));
    QVERIFY(window.isVisible());
    QCOMPARE(window.geometry(), before);
    WindowOnTop::Set(&window, false);
    QVERIFY(!WindowOnTop::IsSet(&window));
    QVERIFY(window.isVisible());

    QWidget hidden;
    WindowOnTop::Set(&hidden, true);
    QVERIFY(WindowOnTop::IsSet(&hidden));
    QVERIFY(!hidden.isVisible());
}

void DesktopTest::trayMenuOffersShowSettingsExit()
{
    TrayIcon tray(QIcon(), nullptr);
    QStringList entries;
    for (QAction* action : tray.Menu()->actions())
        entries << action->text();
    QCOMPARE(entries, QStringList({"Show", "Settings", "Exit"}));
    QSignalSpy shows(&tray, &TrayIcon::ShowRequested);
    QSignalSpy settings(&tray, &TrayIcon::SettingsRequested);
    QSignalSpy exits(&tray, &TrayIcon::ExitRequested);
    tray.Menu()->actions().at(0)->trigger();
    tray.Menu()->actions().at(1)->trigger();
    tray.Menu()->actions().at(2)->trigger();
    QCOMPARE(shows.count() + settings.count() + exits.count(), 3);
    QCOMPARE(exits.count(), 1);
    QVERIFY(!TrayIcon::IsAvailable()); // offscreen has no notification area
}

QTEST_MAIN(DesktopTest)
#include "DesktopTest.moc"
