#pragma once

#include <QWidget>

class CallQualityBars;
class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class zzSlider;

// What the main window shows: the title row with "S", "-" and "X", the three text
// lines and the call quality indicator, the three button groups sharing one place, "Hold", the dial pad, the volume
// sliders and the level bars. It only shows and reports clicks; the main window
// decides what they do.
class SoftphonePanel : public QWidget {
    Q_OBJECT

public:
    explicit SoftphonePanel(QWidget* parent = nullptr);

    // Exactly one group is in front: frameChamarCancelar, frameAtenderRejeitar or
    // frameTranferirDesligar.
    void BringToFront(QWidget* group);

    QLabel* lblDisplay1;
    QLabel* lblDisplayStatus;
    QLabel* lblDisplayCodec;
    // The call's quality, beside the codec line while a call is connected.
    CallQualityBars* lblCallQuality;
    QWidget* frameChamarCancelar;
    QWidget* frameAtenderRejeitar;
    QWidget* frameTranferirDesligar;
    QPushButton* cmdHold;
    zzSlider* sldVolFon;
    zzSlider* SldVolMic;
    QProgressBar* progBarVolFon;
    QProgressBar* progbarVolMic;

signals:
    void MenuClicked();
    void MinimiseClicked();
    void CloseClicked();
    void CallClicked();
    void CancelClicked();
    void AnswerClicked();
    void RejectClicked();
    void TransferClicked();
    void HangupClicked();
    void HoldClicked();
    void DialKeyClicked(const QString& key);

private:
    QWidget* BuildTitleRow();
    QWidget* BuildDisplay();
    QWidget* BuildButtonGroups();
    QWidget* BuildDialPad();
    QWidget* BuildVolumes();
    QPushButton* NewButton(const QString& objectName, const QString& caption, void (SoftphonePanel::*clicked)());

    QStackedWidget* buttonGroups_;
};
