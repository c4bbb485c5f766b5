#pragma once

#include <QString>
#include <QWidget>

// The quality indicator of the display: five bars from the call's MOS estimate, as a
// phone shows its signal, with the call's figures as tooltip. Hidden without a call.
class CallQualityBars : public QWidget {
    Q_OBJECT

public:
    static constexpr int kBarCount = 5;

    explicit CallQualityBars(QWidget* parent = nullptr);

    // Shows the figures of GetCallStatistics ("key=value;..."); no bar lit while the
    // MOS is not known.
    void ShowFigures(const QString& figures);
    void Clear();
    int Bars() const { return bars_; }
    // 5 from 4.3 (what G.711 without loss gets), 4 from 4.0, 3 from 3.6, 2 from 3.1,
    // 1 from 2.6, else 0.
    static int BarsForMos(double mos);
    // The figures as lines a person reads.
    static QString Description(const QString& figures);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int bars_ = 0;
};
