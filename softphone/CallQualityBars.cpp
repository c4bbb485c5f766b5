#include "softphone/CallQualityBars.h"

#include <QHash>
#include <QPainter>
#include <QStringList>

namespace {

constexpr double kMosForBars[] = {2.6, 3.1, 3.6, 4.0, 4.3};
constexpr int kBarWidth = 4;
constexpr int kBarGap = 2;
constexpr int kHeight = 14;

QHash<QString, QString> Pairs(const QString& figures)
{
    QHash<QString, QString> pairs;
    for (const QString& pair : figures.split(';', Qt::SkipEmptyParts))
        pairs.insert(pair.section('=', 0, 0), pair.section('=', 1));
    return pairs;
}

// A figure as shown: "-" when not known.
QString Shown(const QHash<QString, QString>& pairs, const QString& key, const QString& unit = QString())
{
    const QString value = pairs.value(key);
    return value.isEmpty() || value == QStringLiteral("-1") ? QStringLiteral("-") : value + unit;
}

} // namespace

CallQualityBars::CallQualityBars(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("lblCallQuality"));
    hide();
}

int CallQualityBars::BarsForMos(double mos)
{
    int bars = 0;
    for (const double threshold : kMosForBars)
        bars += mos >= threshold ? 1 : 0;
    return bars;
}

QString CallQualityBars::Description(const QString& figures)
{
    const QHash<QString, QString> pairs = Pairs(figures);
    const auto shown = [&pairs](const char* key, const QString& unit = QString()) { return Shown(pairs, key, unit); };
    const QString ms = QStringLiteral(" ms");
    return QStringList{"Call quality (MOS estimate): " + shown("mos"),
                       "Codec: " + shown("codec"),
                       "Packets sent: " + shown("sent_packets") + ", received: " + shown("received_packets"),
                       "Lost: " + shown("lost") + " here, " + shown("peer_lost") + " at the peer",
                       "Jitter: " + shown("jitter_ms", ms) + " here, " + shown("peer_jitter_ms", ms) + " at the peer",
                       "Round trip: " + shown("rtt_ms", ms),
                       "Concealed blocks: " + shown("concealed"),
                       "Jitter buffer: " + shown("jb_delay_ms", ms)}
        .join('\n');
}

void CallQualityBars::ShowFigures(const QString& figures)
{
    bool known = false;
    const double mos = Pairs(figures).value(QStringLiteral("mos")).toDouble(&known);
    bars_ = known ? BarsForMos(mos) : 0;
    setToolTip(Description(figures));
    show();
    update();
}

void CallQualityBars::Clear()
{
    bars_ = 0;
    setToolTip(QString());
    hide();
}

QSize CallQualityBars::sizeHint() const
{
    return {kBarCount * (kBarWidth + kBarGap), kHeight};
}

void CallQualityBars::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QColor lit = bars_ >= 4 ? QColor(0x2e, 0x9e, 0x44) : bars_ >= 2 ? QColor(0xd8, 0xa2, 0x1c) : QColor(0xc8, 0x3a, 0x2a);
    // Unlit bars are the lit colour, faint: they read as empty on a dark display and a light one.
    QColor unlit = lit;
    unlit.setAlpha(70);
    for (int bar = 0; bar < kBarCount; ++bar) {
        const int barHeight = kHeight * (bar + 1) / kBarCount;
        const QRect rectangle(bar * (kBarWidth + kBarGap), height() - barHeight, kBarWidth, barHeight);
        painter.fillRect(rectangle, bar < bars_ ? lit : unlit);
    }
}
