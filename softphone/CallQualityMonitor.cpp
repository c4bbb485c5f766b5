#include "softphone/CallQualityMonitor.h"

#include "control/OrvSIPUserAgentOCX.h"
#include "platform/RegularFile.h"
#include "softphone/CallQualityBars.h"

#include <QTimer>

namespace {

// A number is the user's or the peer's text: nothing in it may break the log's lines.
QString OneField(QString text)
{
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control)
            c = ' ';
    }
    return text;
}

} // namespace

CallQualityMonitor::CallQualityMonitor(OrvSIPUserAgentOCX& control, int line, CallQualityBars& bars, QString logPath,
                                       QObject* parent)
    : QObject(parent), control_(control), line_(line), bars_(bars), logPath_(std::move(logPath)),
      timer_(new QTimer(this))
{
    timer_->setObjectName(QStringLiteral("tmrCallQuality"));
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, &CallQualityMonitor::Refresh);
}

QString CallQualityMonitor::Figures() const
{
    return QString::fromStdString(control_.GetCallStatistics(line_));
}

void CallQualityMonitor::Refresh()
{
    bars_.ShowFigures(Figures());
}

void CallQualityMonitor::CallConnected(const QString& number)
{
    if (!connectedAt_.isValid())
        connectedAt_ = QDateTime::currentDateTime();
    number_ = number;
    Refresh();
    timer_->start();
}

QString CallQualityMonitor::CallEnded()
{
    timer_->stop();
    bars_.Clear();
    if (!connectedAt_.isValid())
        return {};
    const QString figures = Figures();
    const qint64 seconds = connectedAt_.secsTo(QDateTime::currentDateTime());
    if (!RegularFile::AppendPrivately(logPath_.toStdString(),
                                      LogLine(connectedAt_, number_, seconds, figures).toStdString()))
        qWarning("trn: the call log %s cannot be written", qPrintable(logPath_));
    connectedAt_ = QDateTime();
    return figures;
}

QString CallQualityMonitor::LogLine(const QDateTime& connectedAt, const QString& number, qint64 seconds,
                                   const QString& figures)
{
    return connectedAt.toString(Qt::ISODate) + '\t' + OneField(number) + '\t' + QString::number(seconds) + '\t' +
           figures + '\n';
}
