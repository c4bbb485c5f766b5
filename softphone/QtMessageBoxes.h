#pragma once

#include "softphone/MessageBoxes.h"

// Message boxes shown with QMessageBox, modal to their parent window.
class QtMessageBoxes : public MessageBoxes {
public:
    void Inform(QWidget* parent, const QString& text, Icon icon) override;
    bool AskYesNo(QWidget* parent, const QString& question) override;
};
