#include "softphone/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap Draw(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1B, 0x7F, 0x5A));
    painter.drawEllipse(QRectF(2, 2, 60, 60));
    // A handset: two ear/mouth pieces joined by a curved grip.
    QPainterPath handset;
    handset.moveTo(18, 16);
    handset.cubicTo(12, 22, 16, 38, 26, 46);
    handset.cubicTo(34, 52, 44, 54, 48, 48);
    handset.lineTo(42, 40);
    handset.lineTo(36, 44);
    handset.cubicTo(30, 40, 24, 34, 22, 28);
    handset.lineTo(28, 22);
    handset.closeSubpath();
    painter.setBrush(Qt::white);
    painter.drawPath(handset);
    return pixmap;
}

} // namespace

QIcon AppIcon::Create()
{
    QIcon icon;
    for (const int size : {16, 22, 32, 48, 64})
        icon.addPixmap(Draw(size));
    return icon;
}
