#include "softphone/zzSlider.h"

#include "softphone/MessageBoxes.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <cmath>
#include <map>

namespace {

const QString kInvalidValue = QStringLiteral("380 : Invalid property value");
const QString kInvalidMinimum = QStringLiteral("Invalid Property Value.");
constexpr int kMaxRoundPlaces = 15;
constexpr int kFocusInset = 3;

// The classic mouse pointer numbers, as far as Qt has a cursor for them.
const std::map<int, Qt::CursorShape>& PointerShapes()
{
    static const std::map<int, Qt::CursorShape> shapes = {
        {1, Qt::ArrowCursor},     {2, Qt::CrossCursor},    {3, Qt::IBeamCursor},       {5, Qt::SizeAllCursor},
        {6, Qt::SizeBDiagCursor}, {7, Qt::SizeVerCursor},  {8, Qt::SizeFDiagCursor},   {9, Qt::SizeHorCursor},
        {10, Qt::UpArrowCursor},  {11, Qt::WaitCursor},    {12, Qt::ForbiddenCursor},  {13, Qt::BusyCursor},
        {14, Qt::WhatsThisCursor}, {15, Qt::SizeAllCursor}, {16, Qt::PointingHandCursor},
    };
    return shapes;
}

float RoundToPlaces(float value, int places)
{
    const double scale = std::pow(10.0, places);
    // nearbyint rounds in the default mode, to nearest with ties to even.
    return static_cast<float>(std::nearbyint(static_cast<double>(value) * scale) / scale);
}

} // namespace

zzSlider::zzSlider(QWidget* parent)
    : QWidget(parent), foreColor_(palette().color(QPalette::ButtonText)), sliderColor_(palette().color(QPalette::Button))
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void zzSlider::SetBackColor(const QColor& color)
{
    backColor_ = color;
    update();
}

void zzSlider::SetForeColor(const QColor& color)
{
    foreColor_ = color;
    update();
}

void zzSlider::SetBorderStyle(int style)
{
    borderStyle_ = style == 0 ? 0 : 1;
    update();
}

void zzSlider::SetMousePointer(int pointer)
{
    mousePointer_ = pointer;
    const auto found = PointerShapes().find(pointer);
    if (found == PointerShapes().end())
        unsetCursor();
    else
        setCursor(found->second);
}

void zzSlider::SetSliderColor(const QColor& color)
{
    sliderColor_ = color;
    update();
}

bool zzSlider::AcceptNumber(float value, const QString& failure)
{
    if (std::isfinite(value))
        return true;
    MessageBoxes::Current().Inform(this, failure, MessageBoxes::Icon::None);
    return false;
}

void zzSlider::SetMaxValue(float value)
{
    if (!AcceptNumber(value, kInvalidValue))
        return;
    maxValue_ = value;
    update();
}

void zzSlider::SetMinValue(float value)
{
    if (!AcceptNumber(value, kInvalidMinimum))
        return;
    minValue_ = value;
    update();
}

void zzSlider::SetValue(float value)
{
    if (std::isnan(value))
        return;
    float v = value;
    if (v < minValue_)
        v = minValue_;
    else if (v > maxValue_)
        v = maxValue_;
    value_ = RoundToPlaces(v, roundValue_);
    update();
    emit Change();
    mouseBusy_ = false;
}

void zzSlider::SetSliderStyle(int style)
{
    if (style != Horizontal && style != Vertical) {
        MessageBoxes::Current().Inform(this, kInvalidValue, MessageBoxes::Icon::None);
        return;
    }
    sliderStyle_ = style;
    updateGeometry();
    update();
}

void zzSlider::SetSmallChange(float step)
{
    if (AcceptNumber(step, kInvalidValue))
        smallChange_ = step;
}

void zzSlider::SetLargeChange(float step)
{
    if (AcceptNumber(step, kInvalidValue))
        largeChange_ = step;
}

void zzSlider::SetRoundValue(int places)
{
    if (places < 0 || places > kMaxRoundPlaces) {
        MessageBoxes::Current().Inform(this, kInvalidValue, MessageBoxes::Icon::None);
        return;
    }
    roundValue_ = places;
}

void zzSlider::SetToolTipText(const QString& text)
{
    toolTipText_ = text;
}

QRect zzSlider::FillRect() const
{
    const QRect box = rect();
    const float range = maxValue_ - minValue_;
    const double f = range > 0 ? static_cast<double>((value_ - minValue_) / range) : 0.0;
    if (sliderStyle_ == Horizontal)
        return QRect(box.left(), box.top(), static_cast<int>(std::lround(f * box.width())), box.height());
    const int top = box.height() - static_cast<int>(std::lround(f * box.height()));
    return QRect(box.left(), box.top() + top, box.width(), box.height() - top);
}

QSize zzSlider::sizeHint() const
{
    return sliderStyle_ == Horizontal ? QSize(120, 18) : QSize(18, 120);
}

void zzSlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), backColor_);
    if (minValue_ <= maxValue_)
        painter.fillRect(FillRect(), sliderColor_);
    if (borderStyle_ == 1) {
        painter.setPen(palette().color(QPalette::Shadow));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    if (hasFocus()) {
        painter.setPen(QPen(foreColor_, 1, Qt::DotLine));
        painter.drawRect(QRect(QPoint(kFocusInset, kFocusInset),
                               QPoint(width() - kFocusInset - 1, height() - kFocusInset - 1)));
    }
}

float zzSlider::ValueAt(const QPointF& position) const
{
    const float range = maxValue_ - minValue_;
    if (sliderStyle_ == Horizontal) {
        const double x = position.x();
        const double w = width();
        if (x <= 1)
            return minValue_;
        if (x > w)
            return maxValue_;
        return static_cast<float>(range * x / w) + minValue_;
    }
    const double y = position.y();
    const double h = height();
    if (y <= 1)
        return maxValue_;
    if (y > h)
        return minValue_;
    return static_cast<float>((h - y) / h * range) + minValue_;
}

void zzSlider::FollowMouse(const QPointF& position)
{
    if (mouseBusy_)
        return;
    mouseBusy_ = true;
    SetValue(ValueAt(position));
    emit SliderScroll();
}

void zzSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        FollowMouse(event->position());
}

void zzSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        FollowMouse(event->position());
}

void zzSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    FollowMouse(event->position());
    if (rect().contains(event->position().toPoint()))
        emit Click();
}

void zzSlider::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Right:
        SetValue(value_ + smallChange_);
        break;
    case Qt::Key_Down:
    case Qt::Key_Left:
        SetValue(value_ - smallChange_);
        break;
    case Qt::Key_PageUp:
        SetValue(value_ + largeChange_);
        break;
    case Qt::Key_PageDown:
        SetValue(value_ - largeChange_);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void zzSlider::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void zzSlider::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

bool zzSlider::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    // The fill tells the value; the rest of the box shows the host's tooltip.
    const bool overFill = FillRect().contains(help->pos());
    const QString text = overFill ? QString::number(static_cast<double>(value_), 'g', 7) : toolTipText_;
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), text, this);
    return true;
}
