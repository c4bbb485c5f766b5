#include "softphone/QtMessageBoxes.h"

#include <QMessageBox>

namespace {

const QString kTitle = QStringLiteral("TARN Softphone");

} // namespace

void QtMessageBoxes::Inform(QWidget* parent, const QString& text, Icon icon)
{
    QMessageBox box(icon == Icon::Information ? QMessageBox::Information : QMessageBox::NoIcon, kTitle, text,
                    QMessageBox::Ok, parent);
    box.exec();
}

bool QtMessageBoxes::AskYesNo(QWidget* parent, const QString& question)
{
    QMessageBox box(QMessageBox::Information, kTitle, question, QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
}
