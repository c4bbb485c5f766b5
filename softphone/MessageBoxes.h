#pragma once

#include <QString>

class QWidget;

// Every message box of the program goes through this interface, so that tests can
// read the message and give the answer. The program uses QMessageBox (QtMessageBoxes).
class MessageBoxes {
public:
    enum class Icon { None, Information };

    virtual ~MessageBoxes() = default;

    // A message with an OK button.
    virtual void Inform(QWidget* parent, const QString& text, Icon icon) = 0;
    // A question with Yes and No buttons and the information icon; true for Yes.
    virtual bool AskYesNo(QWidget* parent, const QString& question) = 0;

    // The boxes in use: QtMessageBoxes unless Use() installed others.
    static MessageBoxes& Current();
    // nullptr goes back to QtMessageBoxes. The caller keeps ownership.
    static void Use(MessageBoxes* boxes);
};
