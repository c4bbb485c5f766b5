#include "softphone/frmTranfer.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmTranfer::frmTranfer(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmTranfer"));
    setWindowTitle(QStringLiteral("Tranfer"));
    setAttribute(Qt::WA_DeleteOnClose);

    txtToTranfer = new QLineEdit;
    txtToTranfer->setObjectName(QStringLiteral("txtToTranfer"));
    auto* transfer = new QPushButton(QStringLiteral("Tranfer"));
    transfer->setObjectName(QStringLiteral("cmdTranfer"));
    transfer->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    cancel->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(transfer);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Tranfer to:")));
    layout->addWidget(txtToTranfer);
    layout->addLayout(buttons);

    connect(transfer, &QPushButton::clicked, this, [this] {
        emit TransferRequested(txtToTranfer->text());
        close();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
    txtToTranfer->setFocus();
}
