#pragma once

#include <QWidget>

class QLabel;
class QTimer;

// The incoming-call popup: it rises from below the bottom-right corner of the screen
// in steps of 50 twips until its bottom edge rests 350 twips above the screen's bottom.
class frmIncommingCall : public QWidget {
    Q_OBJECT

public:
    explicit frmIncommingCall(QWidget* parent = nullptr);

    // Shows the popup (not modal, without taking the focus) and starts the slide from
    // below the screen, also when it is already rising.
    void ShowIncomingCallPopup(const QString& name, const QString& number);

    // Where the slide ends, in pixels, for the current screen.
    int FinalTop() const;
    bool IsSliding() const;
    static int TwipsToPixels(int twips, qreal dotsPerInch);

signals:
    void AnswerClicked();
    void RejectClicked();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void MoveStep();
    void PlaceAtTwips();

    QLabel* lblName;
    QLabel* lblNumber;
    QTimer* timerMoveForm;
    int topTwips_ = 0;
};
