#pragma once

#include <QDialog>

class QLineEdit;

// The transfer dialog: the number to transfer the call to, used as typed. It is
// created for each use and deleted when closed.
class frmTranfer : public QDialog {
    Q_OBJECT

public:
    explicit frmTranfer(QWidget* parent = nullptr);

signals:
    // "Tranfer" was pressed with this text; the dialog closes when the handler returns.
    void TransferRequested(const QString& number);

private:
    QLineEdit* txtToTranfer;
};
