#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

class CallQualityBars;
class OrvSIPUserAgentOCX;
class QTimer;

// Follows the figures of a line's call while it is connected: the display's quality
// indicator once a second, and at the end one line in the call log (time, number,
// seconds, the figures), a file of the owner alone.
class CallQualityMonitor : public QObject {
    Q_OBJECT

public:
    static constexpr int kRefreshMs = 1000;

    CallQualityMonitor(OrvSIPUserAgentOCX& control, int line, CallQualityBars& bars, QString logPath,
                       QObject* parent = nullptr);

    // The line's call was connected, or connected anew (a transfer): the indicator
    // follows it; the call counts from its first connection.
    void CallConnected(const QString& number);
    // The call ended: its line in the call log and the figures it ended with; empty
    // for a call never connected and for a call already ended.
    QString CallEnded();

    // One line of the call log: local time, number, whole seconds, figures, tab-separated.
    static QString LogLine(const QDateTime& connectedAt, const QString& number, qint64 seconds,
                           const QString& figures);

private:
    QString Figures() const;
    void Refresh();

    OrvSIPUserAgentOCX& control_;
    const int line_;
    CallQualityBars& bars_;
    const QString logPath_;
    QTimer* timer_;
    QDateTime connectedAt_;
    QString number_;
};
