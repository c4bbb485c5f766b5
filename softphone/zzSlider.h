#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

// The fill-bar slider of the volume controls: a coloured fill inside a background box
// whose length shows the value. Set by the left mouse button (press or drag) or by the
// arrow and page keys; every assignment of Value clamps to MinValue..MaxValue, rounds
// to RoundValue decimal places (ties to even) and raises Change.
class zzSlider : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor BackColor READ BackColor WRITE SetBackColor)
    Q_PROPERTY(QColor ForeColor READ ForeColor WRITE SetForeColor)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(QFont Font READ font WRITE setFont)
    Q_PROPERTY(int BorderStyle READ BorderStyle WRITE SetBorderStyle)
    Q_PROPERTY(int MousePointer READ MousePointer WRITE SetMousePointer)
    Q_PROPERTY(QColor SliderColor READ SliderColor WRITE SetSliderColor)
    Q_PROPERTY(float MaxValue READ MaxValue WRITE SetMaxValue)
    Q_PROPERTY(float MinValue READ MinValue WRITE SetMinValue)
    Q_PROPERTY(float Value READ Value WRITE SetValue)
    Q_PROPERTY(int SliderStyle READ SliderStyle WRITE SetSliderStyle)
    Q_PROPERTY(float SmallChange READ SmallChange WRITE SetSmallChange)
    Q_PROPERTY(float LargeChange READ LargeChange WRITE SetLargeChange)
    Q_PROPERTY(int RoundValue READ RoundValue WRITE SetRoundValue)
    Q_PROPERTY(QString ToolTipText READ ToolTipText WRITE SetToolTipText)

public:
    enum Style { Horizontal = 0, Vertical = 1 };

    explicit zzSlider(QWidget* parent = nullptr);

    QColor BackColor() const { return backColor_; }
    void SetBackColor(const QColor& color);
    QColor ForeColor() const { return foreColor_; }
    void SetForeColor(const QColor& color);
    int BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(int style);
    int MousePointer() const { return mousePointer_; }
    void SetMousePointer(int pointer);
    QColor SliderColor() const { return sliderColor_; }
    void SetSliderColor(const QColor& color);
    float MaxValue() const { return maxValue_; }
    void SetMaxValue(float value);
    float MinValue() const { return minValue_; }
    void SetMinValue(float value);
    float Value() const { return value_; }
    void SetValue(float value);
    int SliderStyle() const { return sliderStyle_; }
    void SetSliderStyle(int style);
    float SmallChange() const { return smallChange_; }
    void SetSmallChange(float step);
    float LargeChange() const { return largeChange_; }
    void SetLargeChange(float step);
    int RoundValue() const { return roundValue_; }
    void SetRoundValue(int places);
    QString ToolTipText() const { return toolTipText_; }
    void SetToolTipText(const QString& text);

    void Refresh() { update(); }

    // The part of the background the fill covers for the current value.
    QRect FillRect() const;

    QSize sizeHint() const override;

signals:
    void Change();
    void Click();
    void SliderScroll();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;

private:
    void FollowMouse(const QPointF& position);
    float ValueAt(const QPointF& position) const;
    bool AcceptNumber(float value, const QString& failure);

    QColor backColor_{0xFF, 0xFF, 0xFF};
    QColor foreColor_;
    QColor sliderColor_;
    int borderStyle_ = 1;
    int mousePointer_ = 0;
    float maxValue_ = 0;
    float minValue_ = 0;
    float value_ = 0;
    int sliderStyle_ = Horizontal;
    float smallChange_ = 1;
    float largeChange_ = 1;
    int roundValue_ = 0;
    QString toolTipText_;
    bool mouseBusy_ = false;
};
