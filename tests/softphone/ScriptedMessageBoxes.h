#pragma once

#include "softphone/MessageBoxes.h"

#include <QStringList>

#include <deque>

// Message boxes answered by the test: every text shown is recorded, questions take
// the next scripted answer (No when none is left). Installed for its lifetime.
class ScriptedMessageBoxes : public MessageBoxes {
public:
    ScriptedMessageBoxes();
    ~ScriptedMessageBoxes() override;

    void Inform(QWidget* parent, const QString& text, Icon icon) override;
    bool AskYesNo(QWidget* parent, const QString& question) override;

    void AnswerNext(bool yes) { answers_.push_back(yes); }
    // Texts shown since the last call, oldest first.
    QStringList Take();

    QList<Icon> icons;

private:
    QStringList shown_;
    std::deque<bool> answers_;
};
