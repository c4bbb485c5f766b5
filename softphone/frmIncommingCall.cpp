#include "softphone/frmIncommingCall.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cmath>

namespace {

constexpr int kTwipsPerInch = 1440;
constexpr int kStartBelowTwips = 100;
constexpr int kStepTwips = 50;
constexpr int kRestAboveBottomTwips = 350;

QPushButton* NewButton(const QString& objectName, const QString& caption)
{
    auto* button = new QPushButton(caption);
    button->setObjectName(objectName);
    button->setAutoDefault(false);
    return button;
}

} // namespace

frmIncommingCall::frmIncommingCall(QWidget* parent) : QWidget(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("frmIncommingCall"));
    setWindowTitle(QStringLiteral("Incoming Call"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_StyledBackground);

    auto* heading = new QLabel(QStringLiteral("Incoming call from"));
    // The caller's name and number come from the network: shown as written, never as markup.
    lblName = new QLabel;
    lblName->setObjectName(QStringLiteral("lblName"));
    lblName->setTextFormat(Qt::PlainText);
    lblNumber = new QLabel;
    lblNumber->setObjectName(QStringLiteral("lblNumber"));
    lblNumber->setTextFormat(Qt::PlainText);
    QPushButton* answer = NewButton(QStringLiteral("cmdAnswer"), QStringLiteral("Answer"));
    QPushButton* reject = NewButton(QStringLiteral("cmdRegect"), QStringLiteral("Regect"));
    connect(answer, &QPushButton::clicked, this, &frmIncommingCall::AnswerClicked);
    connect(reject, &QPushButton::clicked, this, &frmIncommingCall::RejectClicked);

    auto* layout = new QGridLayout(this);
    layout->addWidget(heading, 0, 0, 1, 2);
    layout->addWidget(lblName, 1, 0, 1, 2);
    layout->addWidget(lblNumber, 2, 0, 1, 2);
    layout->addWidget(answer, 3, 0);
    layout->addWidget(reject, 3, 1);
    setFixedWidth(240);

    timerMoveForm = new QTimer(this);
    timerMoveForm->setObjectName(QStringLiteral("timerMoveForm"));
    timerMoveForm->setInterval(1);
    connect(timerMoveForm, &QTimer::timeout, this, &frmIncommingCall::MoveStep);
}

int frmIncommingCall::TwipsToPixels(int twips, qreal dotsPerInch)
{
    return static_cast<int>(std::lround(twips * dotsPerInch / kTwipsPerInch));
}

void frmIncommingCall::ShowIncomingCallPopup(const QString& name, const QString& number)
{
    lblName->setText(name);
    lblNumber->setText(number);
    adjustSize();
    const QScreen* screen = this->screen();
    const qreal dpi = screen->logicalDotsPerInchY();
    const int screenHeightTwips = static_cast<int>(std::lround(screen->geometry().height() * kTwipsPerInch / dpi));
    topTwips_ = screenHeightTwips + kStartBelowTwips;
    PlaceAtTwips();
    show();
    timerMoveForm->start();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

int frmIncommingCall::FinalTop() const
{
    const QScreen* screen = this->screen();
    const int rest = TwipsToPixels(kRestAboveBottomTwips, screen->logicalDotsPerInchY());
    return screen->geometry().bottom() + 1 - frameGeometry().height() - rest;
}

bool frmIncommingCall::IsSliding() const
{
    return timerMoveForm->isActive();
}

void frmIncommingCall::PlaceAtTwips()
{
    const QScreen* screen = this->screen();
    const QRect area = screen->geometry();
    const int top = area.top() + TwipsToPixels(topTwips_, screen->logicalDotsPerInchY());
    move(area.right() + 1 - frameGeometry().width(), top);
}

void frmIncommingCall::MoveStep()
{
    topTwips_ -= kStepTwips;
    PlaceAtTwips();
    if (FinalTop() >= y()) {
        move(x(), FinalTop());
        timerMoveForm->stop();
    }
}

void frmIncommingCall::hideEvent(QHideEvent* event)
{
    timerMoveForm->stop();
    QWidget::hideEvent(event);
}
