#include "softphone/zzSlider.h"
#include "tests/softphone/ScriptedMessageBoxes.h"

#include <QApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include <limits>

class SliderTest : public QObject {
    Q_OBJECT

private slots:
    void clampsAndRaisesChangeOnce();
    void roundsTiesToEven();
    void keysStopAtTheEnds();
    void mouseFollowsBothStyles();
    void drawsFillAndFocusRectangle();
    void refusesInvalidProperties();
};

namespace {

// The volume sliders of the main window.
void MakeVolumeSlider(zzSlider& slider)
{
    slider.SetMaxValue(255);
    slider.SetMinValue(0);
    slider.SetSliderStyle(zzSlider::Vertical);
    slider.SetBackColor(QColor(0x80, 0x80, 0x80));
    slider.SetSliderColor(QColor(0x40, 0x40, 0x40));
    slider.SetBorderStyle(0);
    slider.resize(20, 101);
}

} // namespace

void SliderTest::clampsAndRaisesChangeOnce()
{
    zzSlider slider;
    QCOMPARE(slider.MaxValue(), 0.0f);
    QCOMPARE(slider.MinValue(), 0.0f);
    QCOMPARE(slider.Value(), 0.0f);
    QCOMPARE(slider.SliderStyle(), 0);
    QCOMPARE(slider.SmallChange(), 1.0f);
    QCOMPARE(slider.LargeChange(), 1.0f);
    QCOMPARE(slider.RoundValue(), 0);
    QCOMPARE(slider.BorderStyle(), 1);
    QCOMPARE(slider.BackColor(), QColor(0xFF, 0xFF, 0xFF));
    QCOMPARE(slider.SliderColor(), slider.palette().color(QPalette::Button));
    QCOMPARE(slider.ForeColor(), slider.palette().color(QPalette::ButtonText));
    QVERIFY(slider.ToolTipText().isEmpty());
    QCOMPARE(slider.property("Value").toFloat(), 0.0f);

    MakeVolumeSlider(slider);
    QSignalSpy changes(&slider, &zzSlider::Change);
    slider.SetValue(300);
    QCOMPARE(slider.Value(), 255.0f);
    QCOMPARE(changes.count(), 1);
    slider.SetValue(-5);
    QCOMPARE(slider.Value(), 0.0f);
    QCOMPARE(changes.count(), 2);
    slider.SetValue(0);
    QCOMPARE(changes.count(), 3);
    QVERIFY(slider.setProperty("Value", 100.0f));
    QCOMPARE(slider.Value(), 100.0f);
    QCOMPARE(changes.count(), 4);
}

void SliderTest::roundsTiesToEven()
{
    zzSlider slider;
    slider.SetMaxValue(10);
    const float cases[][2] = {{2.5f, 2}, {3.5f, 4}, {0.5f, 0}, {1.5f, 2}, {2.4f, 2}, {2.6f, 3}};
    for (const auto& c : cases) {
        slider.SetValue(c[0]);
        QCOMPARE(slider.Value(), c[1]);
    }
    slider.SetRoundValue(1);
    slider.SetValue(2.25f);
    QCOMPARE(slider.Value(), 2.2f);
    slider.SetValue(2.75f);
    QCOMPARE(slider.Value(), 2.8f);
    slider.SetRoundValue(2);
    slider.SetValue(9.999f);
    QCOMPARE(slider.Value(), 10.0f);
}

void SliderTest::keysStopAtTheEnds()
{
    zzSlider slider;
    MakeVolumeSlider(slider);
    slider.SetSmallChange(5);
    slider.SetValue(254);
    QSignalSpy changes(&slider, &zzSlider::Change);
    QTest::keyClick(&slider, Qt::Key_PageUp);
    QCOMPARE(slider.Value(), 255.0f);
    QTest::keyClick(&slider, Qt::Key_PageUp);
    QCOMPARE(slider.Value(), 255.0f);
    QCOMPARE(changes.count(), 2);
    QTest::keyClick(&slider, Qt::Key_Down);
    QCOMPARE(slider.Value(), 250.0f);
    QTest::keyClick(&slider, Qt::Key_Left);
    QCOMPARE(slider.Value(), 245.0f);
    QTest::keyClick(&slider, Qt::Key_Up);
    QTest::keyClick(&slider, Qt::Key_Right);
    QCOMPARE(slider.Value(), 255.0f);
    QTest::keyClick(&slider, Qt::Key_PageDown);
    QCOMPARE(slider.Value(), 254.0f);
    slider.SetValue(3);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(&slider, Qt::Key_Down);
    QCOMPARE(slider.Value(), 0.0f);
    QTest::keyClick(&slider, Qt::Key_A);
    QCOMPARE(slider.Value(), 0.0f);
    QCOMPARE(changes.count(), 11);
}

void SliderTest::mouseFollowsBothStyles()
{
    zzSlider vertical;
    MakeVolumeSlider(vertical);
    vertical.show();
    QSignalSpy changes(&vertical, &zzSlider::Change);
    QSignalSpy clicks(&vertical, &zzSlider::Click);
    QSignalSpy scrolls(&vertical, &zzSlider::SliderScroll);
    QTest::mouseClick(&vertical, Qt::LeftButton, {}, QPoint(10, vertical.height() / 2));
    QVERIFY2(std::abs(vertical.Value() - 127.5f) <= 3, qPrintable(QString::number(vertical.Value())));
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(scrolls.count(), 2);
    QCOMPARE(changes.count(), 2);

    QTest::mousePress(&vertical, Qt::LeftButton, {}, QPoint(10, 0));
    QCOMPARE(vertical.Value(), 255.0f);
    QTest::mouseMove(&vertical, QPoint(10, vertical.height() + 30));
    QTest::mouseRelease(&vertical, Qt::LeftButton, {}, QPoint(10, vertical.height() + 30));
    QCOMPARE(vertical.Value(), 0.0f);
    QCOMPARE(clicks.count(), 1); // a release outside the control is no click

    zzSlider horizontal;
    horizontal.SetMaxValue(100);
    horizontal.SetMinValue(-100);
    horizontal.resize(200, 20);
    horizontal.show();
    QTest::mouseClick(&horizontal, Qt::LeftButton, {}, QPoint(150, 10));
    QCOMPARE(horizontal.Value(), 50.0f);
    QTest::mouseClick(&horizontal, Qt::LeftButton, {}, QPoint(0, 10));
    QCOMPARE(horizontal.Value(), -100.0f);
    QTest::mouseClick(&horizontal, Qt::RightButton, {}, QPoint(200, 10));
    QCOMPARE(horizontal.Value(), -100.0f); // only the left button moves the value

    horizontal.setEnabled(false);
    QTest::mouseClick(&horizontal, Qt::LeftButton, {}, QPoint(150, 10));
    QCOMPARE(horizontal.Value(), -100.0f); // a disabled slider takes no input
}

void SliderTest::drawsFillAndFocusRectangle()
{
    zzSlider slider;
    MakeVolumeSlider(slider);
    slider.SetRoundValue(2);
    slider.resize(40, 100);
    slider.SetValue(63.75f); // a quarter
    QCOMPARE(slider.FillRect(), QRect(0, 75, 40, 25));
    QImage image = slider.grab().toImage();
    QCOMPARE(image.pixelColor(20, 90), QColor(0x40, 0x40, 0x40));
    QCOMPARE(image.pixelColor(20, 50), QColor(0x80, 0x80, 0x80));

    slider.SetSliderStyle(zzSlider::Horizontal);
    QCOMPARE(slider.FillRect(), QRect(0, 0, 10, 100));

    slider.SetSliderStyle(zzSlider::Vertical);
    slider.SetForeColor(Qt::red);
    slider.show();
    QVERIFY(QTest::qWaitForWindowExposed(&slider));
    QApplication::setActiveWindow(&slider);
    slider.setFocus();
    QTRY_VERIFY(slider.hasFocus());
    image = slider.grab().toImage();
    int redOnInset = 0;
    for (int y = 3; y < 97; ++y)
        redOnInset += image.pixelColor(3, y) == QColor(Qt::red) ? 1 : 0;
    QVERIFY2(redOnInset > 20 && redOnInset < 94, "a dotted line 3 pixels inside the edge");
    QVERIFY(image.pixelColor(2, 50) != QColor(Qt::red));

    slider.clearFocus();
    QTRY_VERIFY(!slider.hasFocus());
    image = slider.grab().toImage();
    QCOMPARE(image.pixelColor(3, 50), QColor(0x80, 0x80, 0x80));

    slider.SetMinValue(300);
    slider.SetValue(10);
    QCOMPARE(slider.Value(), 300.0f); // below a minimum above the maximum
    image = slider.grab().toImage();
    QCOMPARE(image.pixelColor(20, 50), QColor(0x80, 0x80, 0x80)); // no fill while MinValue > MaxValue
}

void SliderTest::refusesInvalidProperties()
{
    ScriptedMessageBoxes boxes;
    zzSlider slider;
    MakeVolumeSlider(slider);
    slider.SetValue(100);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    slider.SetMinValue(nan);
    slider.SetMaxValue(infinity);
    slider.SetSmallChange(nan);
    slider.SetLargeChange(-infinity);
    slider.SetRoundValue(-1);
    slider.SetRoundValue(40);
    slider.SetSliderStyle(2);
    QCOMPARE(boxes.Take(), QStringList({"Invalid Property Value.", "380 : Invalid property value",
                                        "380 : Invalid property value", "380 : Invalid property value",
                                        "380 : Invalid property value", "380 : Invalid property value",
                                        "380 : Invalid property value"}));
    QCOMPARE(slider.MinValue(), 0.0f);
    QCOMPARE(slider.MaxValue(), 255.0f);
    QCOMPARE(slider.SmallChange(), 1.0f);
    QCOMPARE(slider.LargeChange(), 1.0f);
    QCOMPARE(slider.RoundValue(), 0);
    QCOMPARE(slider.SliderStyle(), 1);
    QSignalSpy changes(&slider, &zzSlider::Change);
    slider.SetValue(nan);
    QCOMPARE(slider.Value(), 100.0f);
    QCOMPARE(changes.count(), 0);
    slider.SetValue(infinity);
    QCOMPARE(slider.Value(), 255.0f);
}

QTEST_MAIN(SliderTest)
#include "SliderTest.moc"
