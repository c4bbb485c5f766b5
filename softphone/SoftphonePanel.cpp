#include "softphone/SoftphonePanel.h"

#include "softphone/CallQualityBars.h"
#include "softphone/zzSlider.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

constexpr int kMaxVolume = 255;

QWidget* NewGroup(const QString& objectName, QPushButton* left, QPushButton* right)
{
    auto* group = new QWidget;
    group->setObjectName(objectName);
    auto* layout = new QHBoxLayout(group);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(left);
    layout->addWidget(right);
    return group;
}

QLabel* NewLine(const QString& objectName)
{
    auto* label = new QLabel;
    label->setObjectName(objectName);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    // Callers name themselves: their text is shown as written, never as markup.
    label->setTextFormat(Qt::PlainText);
    return label;
}

zzSlider* NewVolumeSlider(const QString& objectName, const QString& tip)
{
    auto* slider = new zzSlider;
    slider->setObjectName(objectName);
    slider->SetMaxValue(kMaxVolume);
    slider->SetMinValue(0);
    slider->SetSliderStyle(zzSlider::Vertical);
    slider->SetBackColor(QColor(0x80, 0x80, 0x80));
    slider->SetSliderColor(QColor(0x40, 0x40, 0x40));
    slider->SetBorderStyle(0);
    slider->SetToolTipText(tip);
    slider->setFixedWidth(14);
    return slider;
}

QProgressBar* NewLevelBar(const QString& objectName, const QString& tip)
{
    auto* bar = new QProgressBar;
    bar->setObjectName(objectName);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setOrientation(Qt::Vertical);
    bar->setTextVisible(false);
    bar->setToolTip(tip);
    bar->setFixedWidth(10);
    return bar;
}

} // namespace

SoftphonePanel::SoftphonePanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frameSoftphone"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(BuildTitleRow());
    layout->addWidget(BuildDisplay());
    layout->addWidget(BuildButtonGroups());
    auto* lower = new QHBoxLayout;
    lower->addWidget(BuildDialPad(), 1);
    lower->addWidget(BuildVolumes());
    layout->addLayout(lower);
}

QPushButton* SoftphonePanel::NewButton(const QString& objectName, const QString& caption,
                                       void (SoftphonePanel::*clicked)())
{
    auto* button = new QPushButton(caption);
    button->setObjectName(objectName);
    // The keyboard stays with the window's key box, never with a button.
    button->setFocusPolicy(Qt::NoFocus);
    if (clicked != nullptr)
        connect(button, &QPushButton::clicked, this, clicked);
    return button;
}

void SoftphonePanel::BringToFront(QWidget* group)
{
    buttonGroups_->setCurrentWidget(group);
}

QWidget* SoftphonePanel::BuildTitleRow()
{
    auto* row = new QWidget;
    row->setObjectName(QStringLiteral("frameTitle"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    QPushButton* menu = NewButton(QStringLiteral("cmdMenu"), QStringLiteral("S"), &SoftphonePanel::MenuClicked);
    menu->setToolTip(QStringLiteral("Settings"));
    QPushButton* minimise =
        NewButton(QStringLiteral("cmdMinimizar"), QStringLiteral("-"), &SoftphonePanel::MinimiseClicked);
    minimise->setToolTip(QStringLiteral("Minimise"));
    QPushButton* close = NewButton(QStringLiteral("cmdFechar"), QStringLiteral("X"), &SoftphonePanel::CloseClicked);
    close->setToolTip(QStringLiteral("Close"));
    auto* title = new QLabel(QStringLiteral("TARN Softphone"));
    title->setObjectName(QStringLiteral("lblTitle"));
    layout->addWidget(menu);
    layout->addWidget(title, 1, Qt::AlignCenter);
    layout->addWidget(minimise);
    layout->addWidget(close);
    return row;
}

QWidget* SoftphonePanel::BuildDisplay()
{
    auto* display = new QWidget;
    display->setObjectName(QStringLiteral("frameDisplay"));
    display->setAttribute(Qt::WA_StyledBackground);
    lblDisplayStatus = NewLine(QStringLiteral("lblDisplayStatus"));
    lblDisplay1 = NewLine(QStringLiteral("lblDisplay1"));
    lblDisplayCodec = NewLine(QStringLiteral("lblDisplayCodec"));
    lblDisplayCodec->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* layout = new QVBoxLayout(display);
    layout->setContentsMargins(10, 6, 10, 6);
    layout->setSpacing(2);
    layout->addWidget(lblDisplayStatus);
    layout->addWidget(lblDisplay1);
    lblCallQuality = new CallQualityBars;
    auto* codecRow = new QHBoxLayout;
    codecRow->addWidget(lblCallQuality, 0, Qt::AlignLeft | Qt::AlignVCenter);
    codecRow->addWidget(lblDisplayCodec, 1);
    layout->addLayout(codecRow);
    return display;
}

QWidget* SoftphonePanel::BuildButtonGroups()
{
    frameChamarCancelar = NewGroup(QStringLiteral("frameChamarCancelar"),
                                   NewButton(QStringLiteral("cmdChamar"), QStringLiteral("Call"),
                                             &SoftphonePanel::CallClicked),
                                   NewButton(QStringLiteral("cmdCancelar"), QStringLiteral("Cancel"),
                                             &SoftphonePanel::CancelClicked));
    frameAtenderRejeitar = NewGroup(QStringLiteral("frameAtenderRejeitar"),
                                    NewButton(QStringLiteral("cmdAtender"), QStringLiteral("Answer"),
                                              &SoftphonePanel::AnswerClicked),
                                    NewButton(QStringLiteral("cmdRejeitar"), QStringLiteral("Reject"),
                                              &SoftphonePanel::RejectClicked));
    frameTranferirDesligar = NewGroup(QStringLiteral("frameTranferirDesligar"),
                                      NewButton(QStringLiteral("cmdTransfer"), QStringLiteral("Tranf"),
                                                &SoftphonePanel::TransferClicked),
                                      NewButton(QStringLiteral("cmdDesligar"), QStringLiteral("Hangup"),
                                                &SoftphonePanel::HangupClicked));
    buttonGroups_ = new QStackedWidget;
    buttonGroups_->setObjectName(QStringLiteral("frameButtonGroups"));
    buttonGroups_->addWidget(frameChamarCancelar);
    buttonGroups_->addWidget(frameAtenderRejeitar);
    buttonGroups_->addWidget(frameTranferirDesligar);
    cmdHold = NewButton(QStringLiteral("cmdHold"), QStringLiteral("Hold"), &SoftphonePanel::HoldClicked);

    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(buttonGroups_, 2);
    layout->addWidget(cmdHold, 1);
    return row;
}

QWidget* SoftphonePanel::BuildDialPad()
{
    auto* pad = new QWidget;
    pad->setObjectName(QStringLiteral("frameDialPad"));
    auto* grid = new QGridLayout(pad);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(4);
    // cmdKp0..cmdKp9 type their digit, cmdKp10 "*" and cmdKp11 "#"; laid out 1-2-3 on top.
    const QString captions[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "*", "#"};
    const int positions[] = {10, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11};
    for (int key = 0; key < 12; ++key) {
        QPushButton* button = NewButton(QStringLiteral("cmdKp%1").arg(key), captions[key], nullptr);
        button->setProperty("dialKey", true);
        connect(button, &QPushButton::clicked, this, [this, caption = captions[key]] { emit DialKeyClicked(caption); });
        grid->addWidget(button, positions[key] / 3, positions[key] % 3);
    }
    return pad;
}

QWidget* SoftphonePanel::BuildVolumes()
{
    auto* volumes = new QWidget;
    volumes->setObjectName(QStringLiteral("frameVolumes"));
    auto* grid = new QGridLayout(volumes);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(3);
    sldVolFon = NewVolumeSlider(QStringLiteral("sldVolFon"), QStringLiteral("Speaker volume"));
    SldVolMic = NewVolumeSlider(QStringLiteral("SldVolMic"), QStringLiteral("Microphone volume"));
    progBarVolFon = NewLevelBar(QStringLiteral("progBarVolFon"), QStringLiteral("Speaker level"));
    progbarVolMic = NewLevelBar(QStringLiteral("progbarVolMic"), QStringLiteral("Microphone level"));
    auto* speaker = new QLabel(QStringLiteral("Spk"));
    auto* mic = new QLabel(QStringLiteral("Mic"));
    grid->addWidget(sldVolFon, 0, 0);
    grid->addWidget(progBarVolFon, 0, 1);
    grid->addWidget(SldVolMic, 0, 2);
    grid->addWidget(progbarVolMic, 0, 3);
    grid->addWidget(speaker, 1, 0, 1, 2, Qt::AlignHCenter);
    grid->addWidget(mic, 1, 2, 1, 2, Qt::AlignHCenter);
    return volumes;
}
