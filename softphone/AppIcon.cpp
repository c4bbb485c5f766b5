#include "softphone/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <array>

namespace {

// Drawn in a square of 64 units.
constexpr int kUnits = 64;
const QColor kBadge(0x1B, 0x7F, 0x5A);
const QRectF kBadgeBounds(2, 2, 60, 60);

// A handset: two ear/mouth pieces joined by a curved grip, from kHandsetStart through
// cubic curves (three points) and lines (one point), then closed.
struct Segment {
    int points;
    std::array<QPointF, 3> point;
};
const QPointF kHandsetStart(18, 16);
const Segment kHandset[] = {
    {3, {QPointF(12, 22), QPointF(16, 38), QPointF(26, 46)}},
    {3, {QPointF(34, 52), QPointF(44, 54), QPointF(48, 48)}},
    {1, {QPointF(42, 40)}},
    {1, {QPointF(36, 44)}},
    {3, {QPointF(30, 40), QPointF(24, 34), QPointF(22, 28)}},
    {1, {QPointF(28, 22)}},
};

QPainterPath HandsetPath()
{
    QPainterPath path;
    path.moveTo(kHandsetStart);
    for (const Segment& segment : kHandset) {
        if (segment.points == 3)
            path.cubicTo(segment.point[0], segment.point[1], segment.point[2]);
        else
            path.lineTo(segment.point[0]);
    }
    path.closeSubpath();
    return path;
}

QString SvgPoint(const QPointF& point)
{
    return QStringLiteral(" %1 %2").arg(point.x()).arg(point.y());
}

QString HandsetSvgPath()
{
    QString path = 'M' + SvgPoint(kHandsetStart).trimmed();
    for (const Segment& segment : kHandset) {
        path += segment.points == 3 ? QStringLiteral(" C") : QStringLiteral(" L");
        for (int i = 0; i < segment.points; ++i)
            path += SvgPoint(segment.point[i]);
    }
    return path + QStringLiteral(" Z");
}

} // namespace

const QString AppIcon::kName = QStringLiteral("org.orvsip.trn");
const QList<int> AppIcon::kSizes = {16, 22, 24, 32, 48, 64, 128, 256};

QImage AppIcon::Draw(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / double(kUnits), size / double(kUnits));
    painter.setPen(Qt::NoPen);
    painter.setBrush(kBadge);
    painter.drawEllipse(kBadgeBounds);
    painter.setBrush(Qt::white);
    painter.drawPath(HandsetPath());
    return image;
}

QString AppIcon::Svg()
{
    const QPointF centre = kBadgeBounds.center();
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" viewBox=\"0 0 %1 %1\">\n"
                          "  <circle cx=\"%2\" cy=\"%3\" r=\"%4\" fill=\"%5\"/>\n"
                          "  <path d=\"%6\" fill=\"#ffffff\"/>\n"
                          "</svg>\n")
        .arg(kUnits)
        .arg(centre.x())
        .arg(centre.y())
        .arg(kBadgeBounds.width() / 2)
        .arg(kBadge.name(), HandsetSvgPath());
}

QIcon AppIcon::Create()
{
    QIcon icon;
    for (const int size : kSizes)
        icon.addPixmap(QPixmap::fromImage(Draw(size)));
    return icon;
}
